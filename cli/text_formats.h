#pragma once
// Small text formats of `tivaro`: JSON strings and objects with their keys in
// the given order, CSV fields, and a CSV reader (RFC 4180 quoting, so that a
// password may hold commas and quotes). Pure functions, any thread.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tivaro::cli {

// "text" with JSON escapes; the input is UTF-8.
std::string JsonString(const std::string& utf8);
// {"key": value, ...}; each value is already JSON.
std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members);
// [a, b, ...] one element a line; each element is already JSON.
std::string JsonArray(const std::vector<std::string>& elements);

// A CSV field, quoted when it holds a comma, quote, CR or LF.
std::string CsvField(const std::string& utf8);
std::string CsvRow(const std::vector<std::string>& fields);

struct CsvRecord {
    int line = 0;  // line of the file on which the record begins, from 1
    std::vector<std::string> fields;
};
// The records of a CSV text; blank lines are skipped. Nothing when a quoted
// field is not closed, with *error saying where.
std::optional<std::vector<CsvRecord>> ParseCsv(const std::string& text, std::string* error);

}  // namespace tivaro::cli
