#include "BrowserHost.h"

#include <QElapsedTimer>
#include <QThread>

#include "filer/FolderTreeCtrl.h"
#include "platform/base/Drives.h"

namespace orv::browser_bench {

void OpenCardAsTheProgramDoes(CFilerContainerDlg& pane, const std::string& card) {
    pane.OpenSourcePath(card, SOURCE_SD);
    pane.SelectRecorderFolder();
    if (CFolderTreeCtrl* tree = pane.GetTree()) pane.OpenTreeItem(tree->GetSelectedItem());
}

void UseCardsBelowAsDrives(const std::string& base) {
    const std::string prefix = base + "/";
    SetDriveRootProvider([prefix](const std::string& path) {
        if (path.compare(0, prefix.size(), prefix) != 0) return std::string();
        return path.substr(0, path.find('/', prefix.size()));
    });
}

bool WaitForPreviewFrames(CFileListCtrl& list, int frames, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (list.GetTipWindow() && list.GetTipWindow()->FrameCount() < frames) {
        if (timer.elapsed() > ms) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(500);
    }
    return list.GetTipWindow() != nullptr;
}

}  // namespace orv::browser_bench
