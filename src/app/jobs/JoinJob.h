// Joining ticked movies of the current folder into one movie file in a folder the user
// chooses, under the first movie's name, with its rear companion and its data file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/jobs/JobFrame.h"

namespace orv {

// The bytes a join writes at most: the movies, companions and data files of the entries.
std::uint64_t JoinBytesNeeded(const std::vector<sFILEENTRY>& entries);

// The job's thread: joins the movies in order into `outputPath` (see MovieJoin.h), posting
// WM_APP_PROGRESS as it goes. Any failure ends it with text 92; a cleared flag stops it
// with nothing written. On success the output folder is stored under FOLDERPATH /
// CONNECT_FOLDER and the job reports.
unsigned JoinMoviesJob(JobState& job, const std::vector<std::string>& paths,
                       const std::string& outputPath);

}  // namespace orv
