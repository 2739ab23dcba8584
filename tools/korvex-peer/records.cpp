// Receiving and printing records: the tag and the size of the waiting message decide the
// reader; anything else is shown as an unknown record and taken off the pipe whole.
#include "records.h"

#include "link/messages.h"

#include <cstdio>
#include <string>

namespace {

DWORD RecordSize(DWORD type) {
    switch (static_cast<MessageType>(type)) {
    case MessageType::RenderActive:
    case MessageType::InputActive:
    case MessageType::InitAllThreads:
        return 8;
    case MessageType::MouseInput:
        return kMouseInputSize;
    case MessageType::KeyboardInput:
        return kKeyboardInputSize;
    case MessageType::ValuePair:
    case MessageType::Init:
        return 12;
    case MessageType::InitAllThreadsAllHooks:
    case MessageType::TakeScreenshot:
    case MessageType::Notice:
        return kTagOnlySize;
    default:
        return 0;
    }
}

// The virtual-key codes whose key is down (bit 7), as a comma-separated list.
std::string KeysDown(const BYTE* keyState) {
    std::string list;
    char code[8];
    for (int vk = 0; vk < 256; ++vk) {
        if (!(keyState[vk] & 0x80))
            continue;
        std::snprintf(code, sizeof code, "%s%d", list.empty() ? "" : ",", vk);
        list += code;
    }
    return list;
}

// One output line built field by field, as "Name a=1 b=2" or {"type":"Name","a":1,"b":2}.
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

// Takes the whole waiting message off the pipe and prints its tag, size and bytes.
ReceiveResult PrintUnknown(GamePipe& pipe, DWORD size, bool json) {
    static BYTE message[kPipeBufferSize];
    DWORD read = 0;
    if (!ReadPipe(pipe, message, sizeof message, read))
        return ReceiveResult::Closed;
    // At most the first 1024 bytes are shown; "size" always tells the whole length.
    std::string bytes;
    char hex[4];
    for (DWORD i = 0; i < read && i < 1024; ++i) {
        if (json)
            std::snprintf(hex, sizeof hex, "%02x", message[i]);
        else
            std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", message[i]);
        bytes += hex;
    }
    Line line(json, "Unknown");
    if (read >= 4)
        line.Field("tag", message[0] | message[1] << 8 | message[2] << 16 |
                              static_cast<long long>(message[3]) << 24);
    line.Field("size", size).Text("bytes", bytes).Print();
    return ReceiveResult::Printed;
}

} // namespace

ReceiveResult ReceiveAndPrint(GamePipe& pipe, bool json) {
    DWORD total = 0, size = 0;
    if (!PeekNamedPipe(pipe.handle, nullptr, 0, nullptr, &total, &size))
        return ReceiveResult::Closed;
    if (total == 0)
        return ReceiveResult::Empty;
    DWORD type = 0;
    PeekMessageType(pipe, type);
    // The tag's upper bytes must be zero too: PeekMessageType shows only the first byte.
    DWORD tag = 0xFFFFFFFF;
    DWORD peeked = 0;
    if (size >= 4)
        PeekPipe(pipe, &tag, 4, peeked);
    if (size < 4 || tag != type || RecordSize(type) != size)
        return PrintUnknown(pipe, size, json);

    BYTE keys[256];
    bool flag = false;
    DWORD a = 0, b = 0, time = 0;
    int32_t x = 0, y = 0, wheel = 0;
    bool ok = false;
    switch (static_cast<MessageType>(type)) {
    case MessageType::RenderActive:
    case MessageType::InputActive:
        if (!(ok = type == 1 ? ReadRenderActive(pipe, flag) : ReadInputActive(pipe, flag)))
            break;
        Line(json, type == 1 ? "RenderActive" : "InputActive").Field("active", flag).Print();
        break;
    case MessageType::MouseInput:
        if (!(ok = ReadMouseInput(pipe, a, x, y, wheel, time, keys)))
            break;
        Line(json, "MouseInput")
            .Hex("message", a)
            .Field("x", x)
            .Field("y", y)
            .Field("wheelDelta", wheel)
            .Field("time", time)
            .List("keysDown", KeysDown(keys))
            .Print();
        break;
    case MessageType::KeyboardInput:
        if (!(ok = ReadKeyboardInput(pipe, a, b, keys)))
            break;
        Line(json, "KeyboardInput")
            .Hex("virtualKey", a)
            .Hex("keyFlags", b)
            .List("keysDown", KeysDown(keys))
            .Print();
        break;
    case MessageType::ValuePair:
        if (!(ok = ReadValuePair(pipe, a, b)))
            break;
        Line(json, "ValuePair").Field("first", a).Field("second", b).Print();
        break;
    case MessageType::Init:
        if (!(ok = ReadInit(pipe, a, flag)))
            break;
        Line(json, "Init").Field("gameThreadId", a).Field("useRawInputHooks", flag).Print();
        break;
    case MessageType::InitAllThreads:
        if (!(ok = ReadInitAllThreads(pipe, flag)))
            break;
        Line(json, "InitAllThreads").Field("flag", flag).Print();
        break;
    case MessageType::InitAllThreadsAllHooks:
        if (!(ok = ReadInitAllThreadsAllHooks(pipe)))
            break;
        Line(json, "InitAllThreadsAllHooks").Print();
        break;
    case MessageType::TakeScreenshot:
        if (!(ok = ReadTakeScreenshot(pipe)))
            break;
        Line(json, "TakeScreenshot").Print();
        break;
    default:
        if (!(ok = ReadNotice(pipe)))
            break;
        Line(json, "Notice").Print();
        break;
    }
    return ok ? ReceiveResult::Printed : ReceiveResult::Closed;
}
