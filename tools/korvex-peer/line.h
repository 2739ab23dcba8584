// One output line of korvex-peer built field by field, as "Name a=1 b=2" or as the JSON object
// {"type":"Name","a":1,"b":2}; printed and flushed at once.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

class Line {
  public:
    Line(bool json, const char* type) : json_(json) {
        text_ = json ? std::string("{\"type\":\"") + type + "\"" : std::string(type);
    }
    Line& Field(const char* name, long long value) { return Raw(name, std::to_string(value)); }
    Line& Hex(const char* name, DWORD value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
        return json_ ? Field(name, value) : Raw(name, text);
    }
    Line& List(const char* name, const std::string& items) {
        return Raw(name, json_ ? "[" + items + "]" : items);
    }
    Line& Text(const char* name, const std::string& value) {
        return Raw(name, json_ ? "\"" + value + "\"" : value);
    }
    void Print() {
        std::printf("%s%s\n", text_.c_str(), json_ ? "}" : "");
        std::fflush(stdout);
    }

  private:
    Line& Raw(const char* name, const std::string& value) {
        text_ += json_ ? std::string(",\"") + name + "\":" + value
                       : std::string(" ") + name + "=" + value;
        return *this;
    }
    bool json_;
    std::string text_;
};
