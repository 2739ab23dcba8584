// Printing records: each decoded record with its fields by name, anything else as an unknown
// record with its tag, size and bytes.
#include "records.h"

#include "line.h"

#include <cstdio>
#include <string>

using namespace korvex;

namespace {

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

void PrintUnknown(const Record& record, bool json) {
    std::string bytes;
    char hex[4];
    for (DWORD i = 0; i < record.count; ++i) {
        if (json)
            std::snprintf(hex, sizeof hex, "%02x", record.bytes[i]);
        else
            std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", record.bytes[i]);
        bytes += hex;
    }
    Line line(json, "Unknown");
    if (record.count >= 4)
        line.Field("tag", record.tag);
    line.Field("size", record.size).Text("bytes", bytes).Print();
}

} // namespace

const char* RecordName(MessageType type) {
    static const char* const kNames[] = {
        "Unknown",        "RenderActive",   "InputActive",
        "MouseInput",     "KeyboardInput",  "ValuePair",
        "Init",           "InitAllThreads", "InitAllThreadsAllHooks",
        "TakeScreenshot", "Notice"};
    auto index = static_cast<uint32_t>(type);
    return index < sizeof kNames / sizeof kNames[0] ? kNames[index] : kNames[0];
}

void PrintRecord(const Record& record, bool json) {
    if (record.status != RecordStatus::Decoded) {
        PrintUnknown(record, json);
        return;
    }
    Line line(json, RecordName(record.type));
    switch (record.type) {
    case MessageType::RenderActive:
        line.Field("active", record.renderActive.active);
        break;
    case MessageType::InputActive:
        line.Field("active", record.inputActive.active);
        break;
    case MessageType::MouseInput: {
        const MouseInputRecord& m = record.mouseInput;
        line.Hex("message", m.message)
            .Field("x", m.x)
            .Field("y", m.y)
            .Field("wheelDelta", m.wheelDelta)
            .Field("time", m.time)
            .List("keysDown", KeysDown(m.keyState));
        break;
    }
    case MessageType::KeyboardInput:
        line.Hex("virtualKey", record.keyboardInput.virtualKey)
            .Hex("keyFlags", record.keyboardInput.keyFlags)
            .List("keysDown", KeysDown(record.keyboardInput.keyState));
        break;
    case MessageType::ValuePair:
        line.Field("first", record.valuePair.first).Field("second", record.valuePair.second);
        break;
    case MessageType::Init:
        line.Field("gameThreadId", record.init.gameThreadId)
            .Field("useRawInputHooks", record.init.useRawInputHooks);
        break;
    case MessageType::InitAllThreads:
        line.Field("flag", record.initAllThreads.flag);
        break;
    default: // the tag-only records
        break;
    }
    line.Print();
}
