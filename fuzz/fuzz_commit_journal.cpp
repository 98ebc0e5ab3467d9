// A journal of an interrupted commit, as the next process finds it beside the files it
// names. Whatever it holds, what is read from it names only its own writer's files in the
// journal's folder or below, says for each target which file it expects there, and reads
// back the same once written again (a journal of the earlier format, which said less, is
// written in the present one).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/base/CommitJournal.h"
#include "platform/base/WriterName.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv;
    constexpr std::string_view kWriter = "0123456789abcdef0123456789abcdef0123456789abcdef-4242";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto plan = ParseCommitPlan(bytes, kWriter);
    if (!plan) return 0;
    Check(!plan->entries.empty() && plan->entries.size() <= kMaxJournalEntries);
    bool earlier = false;
    for (const CommitEntry& e : plan->entries) {
        Check(IsJournalTargetPath(e.target));
        for (const std::string* name : {&e.temporary, &e.older}) {
            if (name->empty()) continue;
            const auto info = ParseWriterFileName(*name);
            Check(info && info->writer == kWriter && name->find('/') == std::string::npos);
        }
        // A new file for every put, an older one for every drop.
        Check(e.newFile.has_value() == !e.temporary.empty());
        Check(e.newFile || e.olderFile);
        Check(e.olderRecorded || (e.newFile && !e.olderFile));
        earlier = earlier || !e.olderRecorded;
    }
    const auto again = ParseCommitPlan(EncodeCommitPlan(*plan), kWriter);
    Check(again.has_value());
    if (!earlier) Check(again == plan);
    return 0;
}
