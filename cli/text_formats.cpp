#include "cli/text_formats.h"

#include <cstdio>

namespace tivaro::cli {

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += ch;
                }
        }
    }
    return out + "\"";
}

std::string JsonObject(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out = "{";
    for (std::size_t i = 0; i < members.size(); ++i)
        out += (i ? ", " : "") + JsonString(members[i].first) + ": " + members[i].second;
    return out + "}";
}

std::string JsonArray(const std::vector<std::string>& elements) {
    if (elements.empty()) return "[]";
    std::string out = "[\n";
    for (std::size_t i = 0; i < elements.size(); ++i)
        out += "  " + elements[i] + (i + 1 < elements.size() ? ",\n" : "\n");
    return out + "]";
}

std::string CsvField(const std::string& utf8) {
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
    std::string out = "\"";
    for (const char c : utf8) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

std::string CsvRow(const std::vector<std::string>& fields) {
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + CsvField(fields[i]);
    return out;
}

std::optional<std::vector<CsvRecord>> ParseCsv(const std::string& text, std::string* error) {
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    int line = 1;
    bool inQuotes = false, quotedField = false, recordStarted = false;
    int quoteLine = 0;
    const auto endField = [&] {
        record.fields.push_back(field);
        field.clear();
        quotedField = false;
    };
    const auto endRecord = [&] {
        const bool blank = record.fields.empty() && field.empty() && !quotedField;
        endField();
        if (!blank) records.push_back(record);
        record = CsvRecord{};
        recordStarted = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (!recordStarted) {
            record.line = line;
            recordStarted = true;
        }
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                inQuotes = false;
            } else {
                if (c == '\n') ++line;
                field += c;
            }
            continue;
        }
        if (c == '"' && field.empty() && !quotedField) {
            inQuotes = quotedField = true;
            quoteLine = line;
        } else if (c == ',') {
            endField();
        } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            // CRLF ends the record at the LF
        } else if (c == '\n') {
            endRecord();
            ++line;
        } else {
            field += c;
        }
    }
    if (inQuotes) {
        if (error) *error = "line " + std::to_string(quoteLine) + ": a quoted field is not closed";
        return std::nullopt;
    }
    if (recordStarted) endRecord();
    return records;
}

}  // namespace tivaro::cli
