// browser-review: the file browser pane on the demo card, with the hover popup showing a
// preview picture of the hovered row, drawn into PNG files at the scales 1.0 and 1.5 for
// review: browser-1.0.png and browser-1.5.png in the output folder.
//
// usage: browser-review OUTDIR [CARDDIR]
// Without CARDDIR the demo card (small movies) is made in a temporary folder.
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <iostream>
#include <string>

#include "BrowserHost.h"
#include "common/AbsolutePath.h"
#include "filer/FilerContainerDlg.h"
#include "filer/FileListCtrl.h"
#include "filer/FolderTreeCtrl.h"
#include "fixtures/DemoCard.h"
#include "fixtures/TempDir.h"
#include "playback/PlayChannel.h"
#include "ui/ScaleFonts.h"
#include "ui/Scaled.h"

namespace {

using namespace orv;

// The pane at `scale` on the card, its last row hovered (the lower the row, the less of the
// tree the popup covers); the popup drawn where it stands beside the list. Empty when no
// preview picture came.
QImage RenderAt(float scale, const std::string& card) {
    DeleteSharedFonts();
    MonitorMetrics monitor;
    monitor.workArea = QRect(0, 0, 1920, int(1056.0f * scale + 0.5f));
    InitScaleAndFonts(monitor);

    browser_bench::PreviewOwner owner;
    CFilerContainerDlg pane;
    const SIZE popup = PreviewPopupSize();
    pane.resize(Scaled(460), Scaled(640));
    pane.move(popup.cx + Scaled(40), 0);
    pane.CreateControls(&owner);
    owner.SetList(pane.GetList());
    RECT rc;
    pane.LayoutSideBySide(&rc);
    pane.show();
    browser_bench::OpenCardAsTheProgramDoes(pane, card);
    CFileListCtrl& list = *pane.GetList();
    pane.SelectFileRow(0, FALSE);
    QApplication::processEvents();

    const RECT b = list.GetItemBounds(list.GetItemCount() - 1);
    list.UpdatePreviewAt(list.viewport()->mapToGlobal(QPoint(10, (b.top + b.bottom) / 2)), list.viewport());
    // A few pictures in, so the popup shows the movie rather than its first frame only.
    const bool shown = browser_bench::WaitForPreviewFrames(list, 5, 10000);

    QImage sheet(pane.x() + pane.width(), std::max(pane.height(), popup.cy), QImage::Format_RGB32);
    sheet.fill(QColor(90, 90, 90));
    QPainter painter(&sheet);
    painter.drawImage(pane.pos(), pane.grab().toImage());
    CTipWindow* tip = list.GetTipWindow();
    if (shown && tip) painter.drawImage(tip->pos(), tip->grab().toImage());
    painter.end();
    list.StopPreview();
    CFolderTreeCtrl& tree = *pane.GetTree();
    std::printf("scale %.1f: %d rows of %s, %d tree items, preview %s\n", double(scale), list.GetItemCount(),
                tree.GetItemPath(tree.GetSelectedItem()).c_str(), tree.GetItemCount(), shown ? "shown" : "missing");
    return shown ? sheet : QImage();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: browser-review OUTDIR [CARDDIR]\n";
        return 2;
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const std::string out = bench::AbsolutePath(argv[1]);
    fixtures::TempDir tmp;
    // The card's root is found from its absolute path, and the folder above it counts as the
    // drives' folder.
    const std::string card = argc == 3 ? bench::AbsolutePath(argv[2]) : tmp.Path() + "/demo";
    if (argc == 2) {
        std::string error;
        if (!fixtures::MakeDemoCard(card, true, &error)) {
            std::cerr << "browser-review: cannot make the demo card: " << error << '\n';
            return 1;
        }
    }
    browser_bench::UseCardsBelowAsDrives(card.substr(0, card.find_last_of('/')));
    InitChannel(g_aPlayChannel[0], 0, kSubstituteFace);
    g_aPlayChannel[0].initialised = 1;
    int failed = 0;
    for (float scale : {1.0f, 1.5f}) {
        const QImage sheet = RenderAt(scale, card);
        char name[32];
        std::snprintf(name, sizeof name, "/browser-%.1f.png", double(scale));
        if (sheet.isNull() || !sheet.save(QString::fromStdString(out + name))) {
            std::cerr << "browser-review: no picture at scale " << scale << '\n';
            ++failed;
        }
    }
    g_aPlayChannel[0].initialised = 0;
    TermChannel(g_aPlayChannel[0]);
    DeleteSharedFonts();
    return failed ? 1 : 0;
}
