// Deleting recordings: on a recorder card a movie and its data file are hidden under the
// recorder's deleted-file names (the recorder frees their space itself); elsewhere the movie,
// its rear companion and its data file go to the desktop's trash.
#pragma once

#include <string>
#include <vector>

#include "app/jobs/JobFrame.h"

namespace orv {

// Removes one recording as described above. False when any of its files that exists could
// not be removed or hidden.
bool DeleteRecording(const std::string& moviePath);

// The job's thread: removes the recordings from the last to the first, testing the job's
// flag before each, posting WM_APP_PROGRESS (k, n) after the k+1-th and (n, n) at the end.
// The movie on screen (`onScreenPath`, already closed) is removed only a second after the
// job began, so that the player has let its files go. A failure stops the job with text 94.
// Returns the message that ends the job: the list is rebuilt after every delete that began.
unsigned DeleteMoviesJob(JobState& job, const std::vector<std::string>& paths,
                         const std::string& onScreenPath);

}  // namespace orv
