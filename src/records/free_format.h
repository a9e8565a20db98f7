#pragma once
// Free-format records: lines written item by item, or read as a list of reals.
#include <string_view>

void begin_free_write(int unit);
void put_text(std::string_view text);
void put_integer(int value);
void put_real(float value);
void end_free_write();

// A record of one text item, or an empty record for empty text.
void write_text_record(int unit, std::string_view text);

void begin_free_read(int unit);
void get_real(float& value);  // unchanged when the item gets a null value
void end_free_read();         // discards the rest of the current line

// The text of a real item: a blank, a blank or minus, then the "%.9G" text
// of the magnitude with a decimal point forced.
int render_real(char* out, float value);  // out holds at least 24 chars
