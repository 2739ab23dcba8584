// Fuzz target: the record decoders over arbitrary messages, against the layout written out here
// once more by hand. Each input is a type to decode as (its first byte), a length (mostly within
// two bytes of a record's size, from the second byte) and the message's bytes (the rest, padded
// with zeros).
// A decoder succeeds exactly when the message has its record's size, then delivers the fields at
// their offsets (the wheel delta sign-extended from bytes 18 and 19, a boolean true for any
// non-zero word), and leaves what it fills untouched when it fails.
#include "link/record_codec.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace korvex;

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

uint32_t Le(const BYTE* p) {
    return p[0] + p[1] * 0x100u + p[2] * 0x10000u + p[3] * 0x1000000u;
}

int32_t Signed(uint32_t v) {
    return v < 0x80000000u ? static_cast<int32_t>(v) : -static_cast<int32_t>(~v) - 1;
}

// Record sizes by tag; 0 where the catalogue defines none. Lengths to try near each `as`: its
// record's size, the type peek's 4 bytes for 0 and the LargeHeader's 176 for 11.
constexpr DWORD kSize[12] = {0, 8, 8, 280, 268, 12, 12, 8, 4, 4, 4, 0};
constexpr DWORD kNear[12] = {4, 8, 8, 280, 268, 12, 12, 8, 4, 4, 4, 176};

// The member of `r` that `tag` names holds the fields of message `m`.
void CheckFields(DWORD tag, const BYTE* m, const Record& r) {
    if (tag == 1 || tag == 2 || tag == 7) // one layout, so one member to look at
        Check(r.renderActive.active == (Le(m + 4) != 0));
    if (tag == 3) {
        const MouseInputRecord& k = r.mouseInput;
        int wheel = m[18] + m[19] * 256;
        Check(k.message == Le(m + 4) && k.x == Signed(Le(m + 8)) && k.y == Signed(Le(m + 12)) &&
              k.wheelDelta == (wheel < 32768 ? wheel : wheel - 65536) && k.time == Le(m + 20) &&
              std::memcmp(k.keyState, m + 24, 256) == 0);
    }
    if (tag == 4)
        Check(r.keyboardInput.virtualKey == Le(m + 4) && r.keyboardInput.keyFlags == Le(m + 8) &&
              std::memcmp(r.keyboardInput.keyState, m + 12, 256) == 0);
    if (tag == 5)
        Check(r.valuePair.first == Le(m + 4) && r.valuePair.second == Le(m + 8));
    if (tag == 6)
        Check(r.init.gameThreadId == Le(m + 4) && r.init.useRawInputHooks == (Le(m + 8) != 0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    DWORD as = data[0] % 12, rest = static_cast<DWORD>(size - 2);
    DWORD length = data[1] < 200 ? kNear[as] + data[1] % 5 - 2 : rest;
    std::unique_ptr<BYTE[]> message(new BYTE[length]()); // ASan sees any read beyond its end
    std::memcpy(message.get(), data + 2, length < rest ? length : rest);
    const BYTE* m = message.get();

    // A reader or record peek of type `as` (0 and 11 are no catalogue type).
    static Record r, before;
    std::memset(&r, 0xA5, sizeof r);
    before = r;
    bool ok = DecodeRecord(static_cast<MessageType>(as), m, length, r);
    Check(ok == (kSize[as] != 0 && length == kSize[as]));
    Check(std::memcmp(&r, &before, offsetof(Record, renderActive)) == 0);
    if (ok)
        CheckFields(as, m, r);
    else
        Check(std::memcmp(&r, &before, sizeof r) == 0);

    // The type peek and the LargeHeader peek on the same bytes.
    DWORD type = 0, v[3] = {1, 2, 3};
    Check(DecodeMessageType(m, length, type) == (length == 4));
    Check(type == (length == 4 ? m[0] : 255u));
    ok = DecodeLargeHeader(m, length, v[0], v[1], v[2]);
    Check(ok == (length == 176));
    Check(ok ? v[0] == Le(m + 4) && v[1] == Le(m + 8) && v[2] == Le(m + 12)
             : v[0] == 1 && v[1] == 2 && v[2] == 3);

    // The one-call reader's verdict on the whole message, of which it holds the first 280 bytes.
    std::memset(&r, 0xA5, sizeof r);
    r.size = length;
    r.count = length < 280 ? length : 280;
    std::memcpy(r.bytes, m, r.count);
    ClassifyRecord(r);
    DWORD tag = length >= 4 ? Le(m) : 0;
    bool known = tag >= 1 && tag <= 10;
    Check(r.tag == tag && r.size == length && std::memcmp(r.bytes, m, r.count) == 0);
    Check(r.type == (known ? static_cast<MessageType>(tag) : MessageType::NoMessage));
    Check(r.status == (!known                 ? RecordStatus::UnknownTag
                       : length == kSize[tag] ? RecordStatus::Decoded
                                              : RecordStatus::WrongSize));
    if (r.status == RecordStatus::Decoded)
        CheckFields(tag, m, r);
    return 0;
}
