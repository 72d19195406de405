#include "cli/BatchScript.h"

#include <cctype>

namespace vxk {
namespace {

constexpr size_t kMaxValue = 64;

bool HasLinkOptions(const CliOptions& o) {
  const CliOptions plain;
  return o.link != plain.link || !o.usbSerial.empty() || !o.port.empty() ||
         o.socketHandle != plain.socketHandle || o.waitSeconds || o.key || !o.keyFile.empty() ||
         o.roundTripTime || o.extraTime || o.lockWaitMs != plain.lockWaitMs;
}

}  // namespace

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '#' && !inWord) {
      break;
    } else if (c == '\'') {
      const size_t end = line.find('\'', i + 1);
      if (end == std::string::npos) throw UsageError("a ' is not closed");
      word += line.substr(i + 1, end - i - 1);
      inWord = true;
      i = end;
    } else if (c == '"') {
      inWord = true;
      for (++i;; ++i) {
        if (i >= line.size()) throw UsageError("a \" is not closed");
        if (line[i] == '"') break;
        if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
          ++i;
        word += line[i];
      }
    } else if (c == '\\') {
      if (i + 1 < line.size()) word += line[++i];
      inWord = true;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string SafeValue(const std::string& value) {
  std::string safe;
  for (const char c : value.substr(0, kMaxValue)) {
    const bool keep =
        std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
    safe += keep && static_cast<unsigned char>(c) < 0x80 ? c : '_';
  }
  if (safe.empty()) return "unknown";
  if (safe[0] == '.' || safe[0] == '-') safe[0] = '_';
  return safe;
}

std::string Substitute(const std::string& word, const Placeholders& values) {
  std::string out;
  for (size_t i = 0; i < word.size(); ++i) {
    const size_t end = word[i] == '{' ? word.find('}', i) : std::string::npos;
    if (end == std::string::npos) {
      out += word[i];
      continue;
    }
    const std::string name = word.substr(i + 1, end - i - 1);
    const auto value = values.find(name);
    if (value == values.end()) {
      throw UsageError("{" + name + "} is none of {serial}, {product}, {firmware}, {date}, {run}");
    }
    out += SafeValue(value->second);
    i = end;
  }
  return out;
}

Placeholders SamplePlaceholders() {
  return {{"serial", "100042"},
          {"product", "vx.keeper"},
          {"firmware", "1.0"},
          {"date", "2000-01-01"},
          {"run", "run"}};
}

CliOptions LineOptions(const BatchLine& line, const Placeholders& values) {
  std::vector<std::string> args;
  for (size_t i = 0; i < line.words.size(); ++i) {
    if (i == 0 && line.words[0] == "vxkctl") continue;
    args.push_back(Substitute(line.words[i], values));
  }
  CliOptions o = ParseCliOptions(args);
  if (o.help || o.version) throw UsageError("--help and --version do not run here");
  if (HasLinkOptions(o)) throw UsageError("link options go on the command line of the batch");
  if (o.command == "batch" || o.command == "serve" || o.command == "shell")
    throw UsageError(o.command + " cannot run in a batch");
  return o;
}

std::vector<BatchLine> ParseBatch(const std::string& text, bool readsInput, bool forService) {
  std::vector<BatchLine> lines;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    BatchLine line;
    line.number = number;
    line.text = text.substr(start, end - start);
    if (!line.text.empty() && line.text.back() == '\r') line.text.pop_back();
    start = end + 1;
    const std::string where = "line " + std::to_string(number) + ": ";
    try {
      line.words = SplitWords(line.text);
      if (line.words.empty()) continue;
      const CliOptions o = LineOptions(line, SamplePlaceholders());
      const bool input = o.command == "put" && o.args.front() == "-";
      if (forService && UsesStandardStreams(o))
        throw UsageError("a serve job has no standard input or output (-)");
      if (readsInput && input) throw UsageError("the batch itself is read from standard input");
    } catch (const UsageError& e) {
      throw UsageError(where + e.what());
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

}  // namespace vxk
