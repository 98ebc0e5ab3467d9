// What the browser-bench and the browser-review tool put around the browser pane: an owner
// that opens a hovered row's movie in the preview player and plays it, as the program does,
// and a drive root that makes a card in a temporary folder count as a drive of its own.
#pragma once

#include <QApplication>

#include <string>

#include "filer/FileListCtrl.h"
#include "filer/FilerContainerDlg.h"
#include "filer/FileListOwner.h"
#include "playback/preview/MFSession.h"

namespace orv::browser_bench {

class PreviewOwner : public IFileListOwner {
public:
    explicit PreviewOwner(CFileListCtrl* list = nullptr) : list_(list) {}
    void SetList(CFileListCtrl* list) { list_ = list; }

    HWND GetOwnerHwnd() const override { return 0; }
    int GetCurrentFileRow() const override { return currentRow_; }
    bool TakeReselectRequest() override { return false; }
    void MoveCurrentFileRow(int row) override { currentRow_ = row; }
    void OnFileRowSelected(int row, const sFILEENTRY&) override { currentRow_ = row; }
    void OnFilterButton(int) override {}
    void OnPreviewFile(int, const sFILEENTRY& entry) override {
        if (!list_ || !g_pPreviewSession) return;
        if (g_pPreviewSession->IsPlaying()) g_pPreviewSession->Stop();
        g_pPreviewSession->Close();
        if (g_pPreviewSession->OpenMovie(entry.path)) g_pPreviewSession->Play(0);
    }

private:
    CFileListCtrl* list_;
    int currentRow_ = -1;
};

// Opens the card in the pane as the program does at start-up: the card as the source, the
// recorder folder's first date group selected in the tree, and the list filled with that
// folder's recordings, as the main window fills it when the tree reports its selection.
void OpenCardAsTheProgramDoes(CFilerContainerDlg& pane, const std::string& card);

// Cards made below `base` count as drives whose root is the folder just below it.
void UseCardsBelowAsDrives(const std::string& base);

// Runs the event loop until the popup has shown `frames` pictures or `ms` passed; whether
// it did.
bool WaitForPreviewFrames(CFileListCtrl& list, int frames, int ms);

}  // namespace orv::browser_bench
