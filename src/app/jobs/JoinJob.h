// Joining ticked movies of the current folder into one movie file in a folder the user
// chooses, under the first movie's name, with its rear companion and its data file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/jobs/JobFrame.h"
#include "recorder/MovieJoin.h"

namespace orv {

// The bytes a join writes at most: the movies, companions and data files of the entries.
std::uint64_t JoinBytesNeeded(const std::vector<sFILEENTRY>& entries);

// A join's progress as one percentage from its start to its end, however many reporters it
// has: opening the movies takes it to 10, writing the joined front and rear movies (each its
// share by size, reported by the writer in bytes) to 95, freeing the movies read (reported by
// the box trees in nodes) to 99, and only a join that succeeded reaches 100. It never goes
// back; after a failure it stays where it stood.
class JoinProgressScale {
public:
    // Unfinished: the join failed or was stopped.
    enum class Step { Opening, Writing, Freeing, Unfinished, Succeeded };

    // Starts a step; the writing is shared between the front and the rear movie by their bytes.
    void Enter(Step step, std::uint64_t frontBytes = 0, std::uint64_t rearBytes = 0);
    // `done` of `total` of the current step (the writer's passes over the front and the rear
    // movie are told apart by their totals); returns the percentage.
    int Report(std::uint64_t done, std::uint64_t total);
    int Percent() const { return m_nPercent; }

private:
    int Raise(double percent);

    Step m_step = Step::Opening;
    int m_nPercent = 0;
    double m_frontShare = 1.0;  // of the writing
    int m_nPass = -1;           // the writer's pass: 0 the front movie, 1 the rear
    std::uint64_t m_passTotal = 0;
    std::uint64_t m_passDone = 0;
};

// What the report of a join adds when its output goes without a data file: that it has
// none, and why (`movie` names the recording whose data file it was). Empty for kNone.
std::string JoinDataNote(JoinDataLoss loss, const std::string& movie);

// The job's thread: joins the movies in order into `outputPath` (see MovieJoin.h), posting
// WM_APP_PROGRESS as it goes. Any failure ends it with text 92; a cleared flag stops it
// with nothing written. On success the output folder is stored under FOLDERPATH /
// CONNECT_FOLDER and the job reports, with JoinDataNote when the output has no data file.
unsigned JoinMoviesJob(JobState& job, const std::vector<std::string>& paths,
                       const std::string& outputPath);

}  // namespace orv
