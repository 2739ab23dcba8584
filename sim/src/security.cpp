// Simulated security objects: AllocateAndInitializeSid, FreeSid, SetEntriesInAclA,
// InitializeSecurityDescriptor and SetSecurityDescriptorDacl, in Windows' binary layouts (SID,
// ACL with ACEs, absolute security descriptor), plus DescribeSecurityAttributes, which copies
// what a SECURITY_ATTRIBUTES holds into a record tests can inspect.
#include "internal.h"

#include <sim/pipes.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace sim {
namespace {

constexpr BYTE kAccessAllowedAce = 0;
constexpr BYTE kAccessDeniedAce = 1;
constexpr WORD kDaclPresent = 0x0004;
constexpr WORD kDaclDefaulted = 0x0008;

// The absolute security descriptor; it fits SECURITY_DESCRIPTOR_MIN_LENGTH on both widths.
struct Descriptor {
    BYTE Revision;
    BYTE Sbz1;
    WORD Control;
    PSID Owner;
    PSID Group;
    PACL Sacl;
    PACL Dacl;
};
static_assert(sizeof(Descriptor) <= SECURITY_DESCRIPTOR_MIN_LENGTH, "descriptor too large");

struct AceHeader {
    BYTE AceType;
    BYTE AceFlags;
    WORD AceSize;
};

// SID: revision, sub-authority count, six authority bytes, then 32-bit sub-authorities.
DWORD SidLength(const BYTE* sid) {
    return 8 + 4u * sid[1];
}

std::string SidText(const BYTE* sid) {
    unsigned long long authority = 0;
    for (int i = 2; i < 8; ++i)
        authority = (authority << 8) | sid[i];
    std::string text = "S-" + std::to_string(sid[0]) + "-" + std::to_string(authority);
    for (int i = 0; i < sid[1]; ++i) {
        DWORD sub;
        std::memcpy(&sub, sid + 8 + 4 * i, 4);
        text += "-" + std::to_string(sub);
    }
    return text;
}

} // namespace

SecurityRecord DescribeSecurityAttributes(const SECURITY_ATTRIBUTES* attributes) {
    SecurityRecord record;
    if (!attributes)
        return record;
    record.hasAttributes = true;
    record.length = attributes->nLength;
    record.inherit = attributes->bInheritHandle;
    auto* descriptor = static_cast<const Descriptor*>(attributes->lpSecurityDescriptor);
    if (!descriptor)
        return record;
    record.revision = descriptor->Revision;
    record.daclPresent = descriptor->Control & kDaclPresent;
    record.daclDefaulted = descriptor->Control & kDaclDefaulted;
    const ACL* acl = descriptor->Dacl;
    if (!record.daclPresent || !acl)
        return record;
    const BYTE* ace = reinterpret_cast<const BYTE*>(acl) + sizeof(ACL);
    for (WORD i = 0; i < acl->AceCount; ++i) {
        AceHeader header;
        std::memcpy(&header, ace, sizeof header);
        DWORD mask;
        std::memcpy(&mask, ace + 4, 4);
        record.aces.push_back(AceRecord{header.AceType, header.AceFlags, mask, SidText(ace + 8)});
        ace += header.AceSize;
    }
    return record;
}

} // namespace sim

BOOL AllocateAndInitializeSid(PSID_IDENTIFIER_AUTHORITY authority, BYTE subAuthorityCount,
                              DWORD sub0, DWORD sub1, DWORD sub2, DWORD sub3, DWORD sub4,
                              DWORD sub5, DWORD sub6, DWORD sub7, PSID* sid) {
    if (sim::Fails("AllocateAndInitializeSid"))
        return FALSE;
    if (subAuthorityCount == 0 || subAuthorityCount > 8) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD subs[8] = {sub0, sub1, sub2, sub3, sub4, sub5, sub6, sub7};
    auto* bytes = static_cast<BYTE*>(std::calloc(1, 8 + 4 * subAuthorityCount));
    bytes[0] = 1;
    bytes[1] = subAuthorityCount;
    std::memcpy(bytes + 2, authority->Value, 6);
    std::memcpy(bytes + 8, subs, 4 * subAuthorityCount);
    *sid = bytes;
    return TRUE;
}

PVOID FreeSid(PSID sid) {
    sim::Fails("FreeSid");
    std::free(sid);
    return nullptr;
}

// Builds a new ACL (freed with LocalFree) from SID trustees; only a null old ACL is supported.
// SET_ACCESS and GRANT_ACCESS give an allowed ACE, DENY_ACCESS a denied one.
DWORD SetEntriesInAclA(ULONG count, PEXPLICIT_ACCESS_A entries, PACL oldAcl, PACL* newAcl) {
    if (sim::Fails("SetEntriesInAclA"))
        return GetLastError();
    if (oldAcl || !newAcl)
        return ERROR_INVALID_PARAMETER;
    DWORD size = sizeof(ACL);
    for (ULONG i = 0; i < count; ++i) {
        if (entries[i].Trustee.TrusteeForm != TRUSTEE_IS_SID || !entries[i].Trustee.ptstrName)
            return ERROR_INVALID_PARAMETER;
        size += 8 + sim::SidLength(reinterpret_cast<const BYTE*>(entries[i].Trustee.ptstrName));
    }
    auto* bytes = static_cast<BYTE*>(std::calloc(1, size));
    ACL header{2, 0, static_cast<WORD>(size), static_cast<WORD>(count), 0};
    std::memcpy(bytes, &header, sizeof header);
    BYTE* ace = bytes + sizeof(ACL);
    for (ULONG i = 0; i < count; ++i) {
        const auto* sid = reinterpret_cast<const BYTE*>(entries[i].Trustee.ptstrName);
        DWORD sidLength = sim::SidLength(sid);
        sim::AceHeader aceHeader{entries[i].grfAccessMode == DENY_ACCESS ? sim::kAccessDeniedAce
                                                                         : sim::kAccessAllowedAce,
                                 static_cast<BYTE>(entries[i].grfInheritance & 0x1F),
                                 static_cast<WORD>(8 + sidLength)};
        std::memcpy(ace, &aceHeader, sizeof aceHeader);
        std::memcpy(ace + 4, &entries[i].grfAccessPermissions, 4);
        std::memcpy(ace + 8, sid, sidLength);
        ace += aceHeader.AceSize;
    }
    *newAcl = reinterpret_cast<PACL>(bytes);
    return ERROR_SUCCESS;
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    if (sim::Fails("InitializeSecurityDescriptor"))
        return FALSE;
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_UNKNOWN_REVISION);
        return FALSE;
    }
    auto* sd = static_cast<sim::Descriptor*>(descriptor);
    *sd = sim::Descriptor{};
    sd->Revision = SECURITY_DESCRIPTOR_REVISION;
    return TRUE;
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL dacl,
                               BOOL defaulted) {
    if (sim::Fails("SetSecurityDescriptorDacl"))
        return FALSE;
    auto* sd = static_cast<sim::Descriptor*>(descriptor);
    if (sd->Revision != SECURITY_DESCRIPTOR_REVISION) {
        SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return FALSE;
    }
    sd->Control &= static_cast<WORD>(~(sim::kDaclPresent | sim::kDaclDefaulted));
    if (present)
        sd->Control |= sim::kDaclPresent;
    if (present && defaulted)
        sd->Control |= sim::kDaclDefaulted;
    sd->Dacl = present ? dacl : nullptr;
    return TRUE;
}
