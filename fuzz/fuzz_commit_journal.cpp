// A journal of an interrupted commit, as the next process finds it beside the files it
// names. Whatever it holds, what is read from it names only its own writer's files in the
// journal's folder or below, and reads back the same once written again.
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
    for (const CommitEntry& e : plan->entries) {
        Check(IsJournalTargetPath(e.target));
        for (const std::string* name : {&e.temporary, &e.older}) {
            if (name->empty()) continue;
            const auto info = ParseWriterFileName(*name);
            Check(info && info->writer == kWriter && name->find('/') == std::string::npos);
        }
    }
    Check(ParseCommitPlan(EncodeCommitPlan(*plan), kWriter) == plan);
    return 0;
}
