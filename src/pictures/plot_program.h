#pragma once
// The gnuplot program that draws a fault's figure from its gathered facts,
// as one PNG and one SVG of the same layout. The data travel inside the
// program as datablocks: gnuplot reads no file but its outputs' names.
#include <string>

#include "pictures/plot_facts.h"
#include "sys/text_sink.h"

struct FigureOutputs {
  std::string name;     // the SRF file's name, for the title
  std::string png, svg; // where gnuplot writes the images
};

void write_gnuplot_program(const FaultFacts& facts, const FigureOutputs& out, TextSink& sink);

// A text as a gnuplot string constant in double quotes.
std::string gnuplot_string(const std::string& text);
