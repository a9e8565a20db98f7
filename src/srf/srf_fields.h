#pragma once
// The fields of one line of an SRF file: split on blanks (writers differ in
// their widths), converted with the name of the field in every complaint.
#include <string>
#include <string_view>
#include <vector>

// Splits `line` on blanks (space, tab, carriage return, vertical tab, form
// feed) into `fields`, which keeps its capacity from line to line.
void split_fields(std::string_view line, std::vector<std::string_view>& fields);

// A field as a message shows it: quoted, bytes outside printable ASCII as
// \xNN, cut after 40 characters.
std::string shown(std::string_view field);

// What is wrong with a field as a number, or an empty string: the nearest
// double, finite (a leading + is allowed).
std::string to_real(std::string_view field, double& value);
// The same for a count: a whole number from 0 to `largest`.
std::string to_count(std::string_view field, long largest, long& value);
