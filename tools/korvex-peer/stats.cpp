// PeerStats: counting by type, the backlog maxima and the once-a-second line.
#include "stats.h"

#include "line.h"
#include "records.h"

using namespace korvex;

void PeerStats::Count(const Record& record) {
    auto tag = static_cast<DWORD>(record.type);
    ++counts_[record.status == RecordStatus::Decoded && tag < kTypes ? tag : 0];
}

void PeerStats::Backlog(DWORD bytes) {
    backlog_ = bytes > backlog_ ? bytes : backlog_;
    backlogSinceStart_ = bytes > backlogSinceStart_ ? bytes : backlogSinceStart_;
}

void PeerStats::Print(bool json, bool now) {
    ULONGLONG time = GetTickCount64();
    ULONGLONG elapsed = time - start_;
    if (elapsed < 1000 && !now)
        return;
    elapsed = elapsed ? elapsed : 1;
    Line line(json, "Stats");
    unsigned long long total = 0;
    for (DWORD type = 1; type <= kTypes; ++type) { // Unknown last
        DWORD count = counts_[type % kTypes];
        total += count;
        if (count)
            line.Field(RecordName(static_cast<MessageType>(type % kTypes)),
                       static_cast<long long>((count * 1000ull + elapsed / 2) / elapsed));
    }
    line.Field("total", static_cast<long long>((total * 1000 + elapsed / 2) / elapsed))
        .Field("backlogBytes", backlog_)
        .Field("backlogBytesSinceStart", backlogSinceStart_)
        .Print();
    start_ = time;
    backlog_ = 0;
    for (DWORD& count : counts_)
        count = 0;
}
