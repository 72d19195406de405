#pragma once

#include <map>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

namespace vxk {

// Splits one line into words as the shell does: blanks separate, '...' keeps everything,
// "..." keeps everything but \" and \\, a backslash outside quotes keeps the next byte, and #
// at the start of a word ends the line. Throws UsageError for an open quote.
std::vector<std::string> SplitWords(const std::string& line);

// The values of {serial}, {product}, {firmware}, {date} and {run}.
using Placeholders = std::map<std::string, std::string>;

// A value from a device (its header may say anything) made into one safe file name: letters,
// digits, '.', '_' and '-' stay, every other byte becomes '_', a leading '.' or '-' too, at
// most 64 bytes; "unknown" for an empty one.
std::string SafeValue(const std::string& value);

// Every {name} of a word replaced by its value (made safe); throws UsageError for a name that
// is not one of them.
std::string Substitute(const std::string& word, const Placeholders& values);

// One command line of a batch file or job.
struct BatchLine {
  int number = 0;    // in the file, from 1
  std::string text;  // as written, without the line end
  std::vector<std::string> words;
};

// The commands of a batch file: blank and comment lines left out. Each one's options are
// checked with placeholder values that stand for any device, so that a mistake shows before
// a device is waited for. readsInput: the batch itself comes from standard input, which a
// "put -" line cannot then read; forService: a serve job, which has no standard input or
// output at all. Throws UsageError naming the line.
std::vector<BatchLine> ParseBatch(const std::string& text, bool readsInput, bool forService);

// The options of one line with the device's placeholder values; throws UsageError.
CliOptions LineOptions(const BatchLine& line, const Placeholders& values);

// Placeholder values that stand for any device, for checking.
Placeholders SamplePlaceholders();

}  // namespace vxk
