#include "guest_console.h"

#include <stdio.h>

#include <fstream>
#include <sstream>

namespace bootnote_test {

std::string hex(const std::string& bytes) {
  std::string out;
  char digits[3];
  for (unsigned char c : bytes) {
    snprintf(digits, sizeof digits, "%02x", c);
    out += digits;
  }
  return out;
}

std::string unhex(const std::string& text) {
  std::string out;
  if (text == "-") return out;  // no bytes
  for (size_t i = 0; i + 1 < text.size(); i += 2) out += static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16));
  return out;
}

guest_report read_console(const std::string& console, const std::string& abi) {
  guest_report facts;
  std::ifstream in(console);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string kind, line_abi, name;
    words >> kind;
    if (kind == "GUEST-DONE") facts.done = true;
    if (!(words >> line_abi) || line_abi != abi) continue;
    if (kind == "DISK") {
      std::string path, sector;
      words >> name >> path >> sector;
      facts.paths[name] = path;
      if (name == "phone") facts.phone_misc_sector = std::stol(sector);
    } else if (kind == "BASE") {
      std::string base;
      words >> base;
      facts.bases.push_back(base);
    } else if (kind == "CASE") {
      words >> name;
      case_report& c = facts.cases[name];
      std::string out, err;
      c.ran = static_cast<bool>(words >> c.status >> c.pid >> out);
      words >> err;  // empty standard error leaves the field empty
      c.out = unhex(out);
      c.err = unhex(err);
    } else if (kind == "ENTRY") {
      words >> name;
      guest_logged e;
      words >> e.transport;
      if (e.transport == "malformed") {
        words >> e.malformed;
        e.malformed = unhex(e.malformed);
      } else {
        std::string nanoseconds, tag, message;
        words >> e.log_id >> e.tid >> e.seconds >> nanoseconds >> e.priority >> tag >> message;
        e.tag = unhex(tag);
        e.message = unhex(message);
      }
      facts.cases[name].log.push_back(e);
    } else if (kind == "BYTES") {
      std::string misc;
      words >> name >> misc;
      facts.cases[name].misc_read = true;
      facts.cases[name].misc = unhex(misc);
    } else if (kind == "CALLS") {
      words >> name;
      case_report& c = facts.cases[name];
      c.calls_logged = true;
      for (long number; words >> number;) c.calls.push_back(number);
    }
  }
  return facts;
}

}  // namespace bootnote_test
