#include "filer/FilerContainerDlg.h"

#include <QPainter>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <span>
#include <system_error>

#include "filer/FileListCtrl.h"
#include "filer/FileListOwner.h"
#include "filer/FolderTreeCtrl.h"
#include "platform/base/NamedMutex.h"
#include "platform/base/PathUtil.h"
#include "platform/gdi/DeviceContext.h"
#include "playback/ChannelData.h"
#include "playback/ChannelFacade.h"
#include "playback/PlayChannel.h"
#include "recorder/CardLayout.h"
#include "recorder/FileEntrySort.h"
#include "recorder/FolderScan.h"
#include "ui/CommonUtil.h"
#include "ui/ResourceImage.h"
#include "ui/ScaleFonts.h"
#include "ui/Scaled.h"
#include "ui/SkinButton.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

namespace fs = std::filesystem;

// Texts of the filter labels, by RecordingKind.
constexpr int kFilterTextIds[kRecordingKindCount] = {152, 156, 155, 157, 158, 153, 154};

// The check box strip of the kind toggles.
constexpr int kFilterBitmap = 217;

// The date groups of a movie folder: "220101_0001".
constexpr const char* kDateGroupPattern = "[0-9]{6,6}_[0-9]{4,4}";

int t(int designPixels) { return Scaled(designPixels); }

// The (negative) character height of the path field's font.
int LfHeight() {
    if (!g_hFont10) return -10;
    const int pixels = g_hFont10->pixelSize();
    return pixels > 0 ? -pixels : -QFontMetrics(*g_hFont10).height();
}

QRect ToQRect(const RECT& r) { return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top); }

// The name of an entry of `dir` equal to `name` ignoring case, or "" when there is none.
std::string FindChildNoCase(const std::string& dir, std::string_view name) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string child = it->path().filename().string();
        if (EqualsNoCase(child, name)) return child;
    }
    return {};
}

bool IsDirectoryEntry(const sFILEENTRY& e) { return (e.attributes & sFILEENTRY::kAttrDirectory) != 0; }

// The seven rectangles of the toggles (or of their labels) from the first one: the rows
// and steps of each layout.
std::array<RECT, kRecordingKindCount> FilterCellRects(int layout, RECT first) {
    static constexpr int kSteps0[kRecordingKindCount] = {55, 55, 92, 55, 80, 110, 80};
    static constexpr int kSteps1[kRecordingKindCount] = {82, 70, 82, 82, 70, 82, 70};
    std::array<RECT, kRecordingKindCount> cells{};
    RECT r = first;
    for (int i = 0; i < kRecordingKindCount; ++i) {
        const bool restart = layout == 0 ? i == 5 : (i == 3 || i == 5);
        if (restart) {
            const int down = t(layout == 0 ? 18 : 14);
            const int w = r.right - r.left;
            r.left = first.left;
            r.right = first.left + w;
            r.top += down;
            r.bottom += down;
        }
        cells[std::size_t(i)] = r;
        const int step = t(layout == 0 ? kSteps0[i] : kSteps1[i]);
        r.left += step;
        r.right += step;
    }
    return cells;
}

// The toggle's picture at trunc(12 s) square, made again only when its size differs.
void FitFilterPicture(CSkinButton& button) {
    if (g_hFont10) button.setFont(*g_hFont10);
    const int side = t(12);
    if (button.m_nFrameWidth == side && button.m_nFrameHeight == side) return;
    const RECT rect{0, 0, side, side};
    button.SetImage(kFilterBitmap, &rect);
}

}  // namespace

std::string FormatRecorderVersion(const char version[6]) {
    for (int i = 0; i < 6; ++i)
        if (version[i] < '0' || version[i] > '9') return {};
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d", (version[0] - '0') * 10 + (version[1] - '0'),
                  (version[2] - '0') * 10 + (version[3] - '0'), (version[4] - '0') * 10 + (version[5] - '0'));
    return text;
}

std::string FormatRecorderNumber(const std::uint8_t* trailer, std::size_t size) {
    if (!trailer || size < 6) return {};
    const std::optional<std::int32_t> number = ParseRecorderNumber(std::span<const std::uint8_t>(trailer, 6));
    if (!number) return {};
    char text[32];
    std::snprintf(text, sizeof text, "%06d", int(*number));
    return text;
}

CFilerContainerDlg::CFilerContainerDlg(QWidget* parent)
    : QWidget(parent), m_brFrame(QColor(170, 170, 170)), m_brDark(QColor(49, 49, 49)) {
    ResetEntrySerialCounter();
}

CFilerContainerDlg::~CFilerContainerDlg() { JoinSourcePrefetch(); }

CSkinButton* CFilerContainerDlg::GetFilterButton(int kind) const {
    return kind >= 0 && kind < kRecordingKindCount ? m_apFilter[kind] : nullptr;
}

BOOL CFilerContainerDlg::CreateControls(IFileListOwner* owner) {
    m_pOwner = owner;
    m_watcher.SetOwner(owner ? owner->GetOwnerHwnd() : 0);

    m_pTree = new CFolderTreeCtrl(this);
    m_pTree->setObjectName(QStringLiteral("FolderTree"));
    m_pTree->SetOwner(owner ? owner->GetOwnerHwnd() : 0);
    if (g_hFont13) m_pTree->setFont(*g_hFont13);
    m_pTree->show();

    m_pList = new CFileListCtrl(this);
    m_pList->setObjectName(QStringLiteral("FileList"));
    if (g_hFont13) m_pList->setFont(*g_hFont13);
    m_pList->SetOwner(owner);
    m_pList->InsertColumns();
    // The preview beside the list never hides the tree; the toggles above the list are kept
    // clear by the preview staying within the list's height.
    m_pList->SetPreviewKeepClear({m_pTree});
    m_pList->hide();

    m_pPathEdit = new QLineEdit(this);
    m_pPathEdit->setReadOnly(true);
    if (g_hFont10) m_pPathEdit->setFont(*g_hFont10);
    m_pPathEdit->show();

    for (int i = 0; i < kRecordingKindCount; ++i) {
        auto* button = new CSkinButton(this);
        button->SetDlgCtrlID(IDC_FILTER_FIRST + i);
        button->setGeometry(t(200) + i * t(60), t(40), t(12), t(12));
        FitFilterPicture(*button);
        QObject::connect(button, &QAbstractButton::clicked, this, [this, i] {
            if (m_pOwner) {
                m_pOwner->OnFilterButton(i);
            } else {
                SetFilterButton(i, !m_apFilter[i]->IsLatched());
            }
        });
        button->show();
        m_apFilter[i] = button;
        SetFilterButton(i, TRUE);
    }
    m_bRefilter = FALSE;
    return TRUE;
}

void CFilerContainerDlg::ShowBrowserControls(BOOL show) {
    if (m_pTree) m_pTree->setVisible(show);
    if (m_pList) m_pList->setVisible(show);
    for (CSkinButton* button : m_apFilter)
        if (button) button->setVisible(show);
    if (m_pPathEdit) m_pPathEdit->hide();
    update();
}

// ---- layouts ----------------------------------------------------------------------------

void CFilerContainerDlg::ApplyScale() {
    if (g_hFont13) {
        if (m_pTree) m_pTree->setFont(*g_hFont13);
        if (m_pList) m_pList->setFont(*g_hFont13);
    }
    if (g_hFont10 && m_pPathEdit) m_pPathEdit->setFont(*g_hFont10);
    if (m_pTree) m_pTree->ApplyScale();
    if (m_pList) m_pList->RemeasureRows();
}

void CFilerContainerDlg::LayoutSideBySide(RECT* rc) {
    const RECT client{0, 0, width(), height()};
    if (rc) *rc = client;
    if (client.right <= 0 || client.bottom <= 0 || !m_pTree) return;
    m_rcClient = client;
    ApplyScale();
    const int L = client.left, T = client.top, B = client.bottom;
    m_pTree->setGeometry(L + t(4), T + 2 * (t(18) + t(4)), t(5) + t(220) - 2 * t(4),
                         B - T - 2 * (t(4) + t(18)) - t(4));
    m_pList->setGeometry(L + t(4) + t(220), T + 2 * (t(18) + t(4)), t(440) + 2 * t(6) - 2 * t(4) - t(220),
                         B - T - 2 * (t(18) + t(4)) - t(4));
    m_pPathEdit->setGeometry(L + t(4), T + t(4) + 1, t(440) + 2 * t(6) - t(70), t(7) - LfHeight());
    PlaceFilterButtons();
    ShowBrowserControls(!m_bHideControls);
    setVisible(!m_bHidden);
}

void CFilerContainerDlg::LayoutStacked(RECT* rc) {
    const RECT client{0, 0, width(), height()};
    if (rc) *rc = client;
    if (client.right <= 0 || client.bottom <= 0 || !m_pTree) return;
    m_rcClient = client;
    ApplyScale();
    const int L = client.left, T = client.top, R = client.right, B = client.bottom;
    m_pTree->setGeometry(L + t(4), T + t(40) - t(20) + t(4), R - L - 2 * t(4), 2 * t(6) - t(16) + t(300) - 3 * t(4));
    m_pList->setGeometry(L + t(4), T + t(300) + 2 * t(6) + t(40) + t(4), R - L - 2 * t(4),
                         B - T - t(300) - 2 * (t(6) + t(4)) - t(40));
    m_pPathEdit->setGeometry(L + t(4), T - t(7) - t(20) + t(40) + LfHeight(), R - L - 2 * t(4), t(7) - LfHeight());
    PlaceFilterButtons();
    if (parentWidget()) parentWidget()->update(geometry());
    ShowBrowserControls(!m_bHideControls);
    setVisible(!m_bHidden);
}

BOOL CFilerContainerDlg::GetFilterOrigin(RECT* out, int dx, int dy, int w, int h) const {
    if (!out || (m_nLayout != 0 && m_nLayout != 1)) return FALSE;
    const int L = m_rcClient.left, T = m_rcClient.top;
    const int x0 = m_nLayout == 0 ? L + t(220) - t(210) + t(5) : L + t(5);
    const int y0 = m_nLayout == 0 ? T + t(18) - t(10) : T + t(40) + 2 * t(6) + t(300) - t(36) - t(4);
    *out = RECT{x0 + dx, y0 + dy, x0 + dx + w, y0 + dy + h};
    return TRUE;
}

void CFilerContainerDlg::PlaceFilterButtons() {
    RECT first;
    if (!GetFilterOrigin(&first, m_nLayout == 0 ? -t(8) : 0, 0, t(12), t(12))) return;
    const auto cells = FilterCellRects(m_nLayout, first);
    for (int i = 0; i < kRecordingKindCount; ++i) {
        if (!m_apFilter[i]) continue;
        m_apFilter[i]->setGeometry(ToQRect(cells[std::size_t(i)]));
        FitFilterPicture(*m_apFilter[i]);
    }
}

// ---- painting -----------------------------------------------------------------------------

void CFilerContainerDlg::DrawFilterLabels(QPainter& painter) {
    RECT first;
    if (!GetFilterOrigin(&first, m_nLayout == 0 ? t(5) : t(13), -t(3), t(80), t(16))) return;
    const auto cells = FilterCellRects(m_nLayout, first);
    painter.save();
    if (g_hFont10) painter.setFont(*g_hFont10);
    painter.setPen(Qt::white);
    for (int i = 0; i < kRecordingKindCount; ++i)
        painter.drawText(ToQRect(cells[std::size_t(i)]), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromUtf8(UiText(kFilterTextIds[i])));
    painter.restore();
}

void CFilerContainerDlg::DrawFileCount(QPainter& painter) {
    if ((m_nLayout != 0 && m_nLayout != 1) || rect().isEmpty() || !m_pList) return;
    const int R = m_rcClient.right, T = m_rcClient.top;
    const QRect box = m_nLayout == 0
                          ? QRect(QPoint(R - t(60) - t(5), T + t(18) + t(5)),
                                  QPoint(R - t(5) - 1, T + t(18) + t(5) + t(7) - LfHeight() - 1))
                          : QRect(QPoint(R - t(60) - t(10), T + t(4)), QPoint(R - t(10) - 1, T + t(4) + t(7) - LfHeight() - 1));
    painter.save();
    painter.fillRect(box, m_brDark);
    if (g_hFont10) painter.setFont(*g_hFont10);
    painter.setPen(Qt::white);
    const QString text = QString::fromUtf8(UiText(33)).replace(QStringLiteral("%d"), QString::number(m_pList->GetItemCount()));
    painter.drawText(box, Qt::AlignRight | Qt::AlignTop, text);
    painter.restore();
}

void CFilerContainerDlg::DrawBackground(QPainter& painter) {
    if ((m_nLayout != 0 && m_nLayout != 1) || rect().isEmpty()) return;
    painter.fillRect(rect(), m_brDark);
    painter.setPen(QPen(m_brFrame.color()));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    DrawFileCount(painter);
    DrawFilterLabels(painter);
}

void CFilerContainerDlg::paintEvent(QPaintEvent*) {
    if (m_bHideControls && (m_nLayout == 0 || m_nLayout == 1) && !rect().isEmpty()) {
        if (m_pImages) {
            DeviceContext dc(this);
            m_pImages->DrawZoomHint(dc, RECT{0, 0, width(), height()}, m_nLayout == 0);
        }
        return;
    }
    QPainter painter(this);
    DrawBackground(painter);
}

void CFilerContainerDlg::RedrawFileCount() {
    if (!m_bHideControls) update();
}

// ---- the recorder folder ------------------------------------------------------------------

FolderTreeItem CFilerContainerDlg::FindTreeChildByPattern(FolderTreeItem parent, const std::string& pattern) const {
    if (!m_pTree) return kFolderTreeRoot;
    std::regex re;
    try {
        re = std::regex(pattern, std::regex::ECMAScript | std::regex::icase);
    } catch (const std::regex_error&) {
        return kFolderTreeRoot;
    }
    for (FolderTreeItem child = m_pTree->GetChildItem(parent); child != kFolderTreeRoot;
         child = m_pTree->GetNextSiblingItem(child)) {
        if (std::regex_match(m_pTree->GetItemText(child), re)) return child;
    }
    return kFolderTreeRoot;
}

FolderTreeItem CFilerContainerDlg::RecorderFolderTarget() const {
    if (!m_pTree) return kFolderTreeRoot;
    const int layout = std::clamp(g_nFolderLayout.load(), 0, kFolderLayoutCount - 1);
    const std::string pattern = std::string(FolderLayoutTable[layout][LAYOUT_ROW_MOVIE].folder) + "|" +
                                std::string(FolderLayoutTable[layout][LAYOUT_ROW_PARKING_MOVIE].folder);
    const FolderTreeItem folder = FindTreeChildByPattern(kFolderTreeRoot, pattern);
    if (folder == kFolderTreeRoot) return m_pTree->GetRootItem();
    const FolderTreeItem date = FindTreeChildByPattern(folder, kDateGroupPattern);
    return date != kFolderTreeRoot ? date : folder;
}

BOOL CFilerContainerDlg::SelectRecorderFolder() {
    const FolderTreeItem target = RecorderFolderTarget();
    if (m_pTree) m_pTree->SelectItem(target);
    if (m_pPathEdit && m_pTree) m_pPathEdit->setText(QString::fromStdString(m_pTree->GetItemPath(target)));
    return TRUE;
}

// ---- opening a source ---------------------------------------------------------------------

namespace {

// The source that start-up opens: the last removable drive, else the remembered folder, else
// the remembered movie. SOURCE_NONE when there is none.
SourceKind DefaultSource(std::string& path) {
    std::vector<std::string> drives;
    ListRemovableDrives(drives);
    for (auto it = drives.rbegin(); it != drives.rend(); ++it) {
        if (!PathFileExists(*it)) continue;
        path = *it;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return SOURCE_SD;
    }
    const std::string folder = ReadIniString("SOURCE", "FOLDER");
    const std::string file = ReadIniString("SOURCE", "FILE");
    if (!folder.empty() && PathIsDirectory(folder)) {
        path = folder;
        return SOURCE_FOLDER;
    }
    if (!file.empty() && PathFileExists(file) && IsRecorderMovieName(file)) {
        path = file;
        return SOURCE_FILE;
    }
    return SOURCE_NONE;
}

// Whether a card layout's movie folder lies in the folder (it is then scanned like a card).
bool HoldsMovieFolder(const std::string& path) {
    for (int i = 0; i < kFolderLayoutCount; ++i) {
        if (!FindChildNoCase(path, FolderLayoutTable[i][LAYOUT_ROW_MOVIE].folder).empty() ||
            !FindChildNoCase(path, FolderLayoutTable[i][LAYOUT_ROW_PARKING_MOVIE].folder).empty())
            return true;
    }
    return false;
}

// A folder source's path as it is scanned: without one trailing slash.
std::string ScannedSourcePath(std::string path, SourceKind kind) {
    if (kind == SOURCE_FOLDER && path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

void CFilerContainerDlg::PrefetchDefaultSource() {
    if (m_sourcePrefetch.joinable()) return;
    std::string path;
    const SourceKind kind = DefaultSource(path);
    if (kind != SOURCE_SD && kind != SOURCE_FOLDER) return;
    m_strPrefetchedPath = ScannedSourcePath(path, kind);
    m_pPrefetchedFacts = std::make_unique<ScanFacts>();
    try {
        m_sourcePrefetch = std::thread([facts = m_pPrefetchedFacts.get(), path = m_strPrefetchedPath] {
            // Only what the source holds is kept; the tree and the list are filled by the opening.
            std::vector<sFILEENTRY> entries, folders;
            std::string scanned;
            ScanSourcePath(path, scanned, ScanTarget{entries, folders, nullptr, HoldsMovieFolder(path)},
                           kFolderTreeRoot, 0, facts);
        });
    } catch (const std::system_error&) {
        m_pPrefetchedFacts.reset();  // no thread to be had: the opening reads it all itself
    }
}

void CFilerContainerDlg::JoinSourcePrefetch() {
    if (m_sourcePrefetch.joinable()) m_sourcePrefetch.join();
}

BOOL CFilerContainerDlg::InitFromDefaultFolder(const RECT*) {
    JoinSourcePrefetch();
    if (m_pTree) m_pTree->DeleteAllItems();
    std::string path;
    const SourceKind kind = DefaultSource(path);
    if (kind == SOURCE_NONE) return FALSE;
    OpenSourcePath(path, kind);
    SelectRecorderFolder();
    if (m_pList) m_pList->viewport()->update();
    RedrawFileCount();
    return TRUE;
}

void CFilerContainerDlg::OpenSourcePath(std::string path, SourceKind kind) {
    if (!m_pList || !m_pTree) return;
    m_pList->SetEntries({});
    m_watcher.ClearLost();
    ResetEntrySerialCounter();
    m_strSourcePath = path;
    g_bLimitedModel = FALSE;
    m_nSourceKind = kind;
    m_vecFolders.clear();
    // The tree of the previous source goes: the new one is filled from its root.
    m_pTree->DeleteAllItems();
    // What start-up read ahead of this source serves its scan; any other source is read afresh.
    const bool prefetched = m_pPrefetchedFacts && ScannedSourcePath(path, kind) == m_strPrefetchedPath;
    m_pSourceFacts = prefetched ? std::move(m_pPrefetchedFacts) : std::make_unique<ScanFacts>();
    m_pPrefetchedFacts.reset();
    // The new source may be another card at the same place.
    ForgetCardRoots();

    const bool recorderFolder = HoldsMovieFolder(path);
    int layout = -1;
    for (int i = 0; i < kFolderLayoutCount && layout < 0; ++i)
        if (!FindChildNoCase(path, FolderLayoutTable[i][LAYOUT_ROW_MOVIE].folder).empty()) layout = i;
    g_nFolderLayout = std::max(layout, 0);
    m_bRecorderFolder = recorderFolder ? TRUE : FALSE;

    std::string scanned;
    path = ScannedSourcePath(path, kind);
    if (IsCardRootSource()) {
        // A card, or a card copied into a folder and chosen at its root: the tree shows the
        // card's folders, in which the recorder folder is found.
        m_pTree->SetRootPath(path);
        // A card chosen as a card is gone too when none of its folders is left; a card's mount
        // point chosen as a folder is gone when the card leaves it (the watcher sees it stop
        // being a mount point), and a folder copied from a card when it is.
        m_watcher.SetPath(path, kind == SOURCE_SD ? GoneWhen::kPathOrFoldersGone : GoneWhen::kPathGone);
        std::vector<sFILEENTRY> entries;
        ScanSourcePath(path, scanned, ScanTarget{entries, m_vecFolders, m_pTree, recorderFolder}, kFolderTreeRoot, 0,
                       m_pSourceFacts.get());
        m_pList->SetEntries(std::move(entries));
        m_pTree->SelectItem(m_pTree->GetRootItem());
        if (kind == SOURCE_SD) IdentifyRecorder(path);
    } else if (kind == SOURCE_FOLDER) {
        const std::size_t slash = path.find_last_of('/');
        const std::string parent = slash == std::string::npos ? std::string() : path.substr(0, slash);
        std::string name(PathFindFileName(path));
        if (name.empty()) name = path;
        m_pTree->SetRootPath(slash == 0 ? std::string("/") : parent);
        // The folder itself is watched: a folder source is gone when the folder is, or when it
        // was a mount point and no longer is, whatever becomes of the folders inside it.
        m_watcher.SetPath(path, GoneWhen::kPathGone);
        const std::optional<FolderTreeItem> item = m_pTree->InsertItem(kFolderTreeRoot, name);
        if (item) {
            std::vector<sFILEENTRY> entries;
            ScanSourcePath(path, scanned, ScanTarget{entries, m_vecFolders, m_pTree, false}, *item, 0,
                           m_pSourceFacts.get());
            SortEntriesRecorderFirst(entries);
            m_pList->SetEntries(std::move(entries));
        }
        m_pTree->SelectItem(m_pTree->GetRootItem());
    } else if (kind == SOURCE_FILE) {
        if (!CheckChannelsFile(path)) return;
        m_watcher.SetPath(path, GoneWhen::kPathGone);
        std::vector<sFILEENTRY> entries;
        AddMovieEntry(path, entries);
        m_pList->SetEntries(std::move(entries));
        std::string folder = PathRemoveFileSpec(path);
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        m_pTree->SetRootPath(folder);
        m_pList->RefillList();
        if (m_pList->GetItemCount() > 0) MakeOnlyRowCurrent(0);
        if (m_pPathEdit) m_pPathEdit->setText(QString::fromStdString(folder));
    }
}

BOOL CFilerContainerDlg::OpenTreeItem(FolderTreeItem item, int, BOOL noCountRedraw) {
    if (!m_pTree || !m_pList || !m_pTree->ItemOf(item)) return FALSE;
    const std::string path = m_pTree->GetItemPath(item);
    if (m_pPathEdit) m_pPathEdit->setText(QString::fromStdString(path));
    m_watcher.ClearLost();
    m_pList->SetEntries({});
    ResetEntrySerialCounter();
    m_pTree->DeleteChildItems(item);
    const int depth = m_pTree->GetItemLevel(item);
    std::vector<sFILEENTRY> folders;
    std::string scanned;
    const bool card = IsCardRootSource() != FALSE;
    // Right after the source was opened this folder was read with it: only what changed since
    // is read again. Any later opening reads the folder afresh.
    const std::unique_ptr<ScanFacts> facts = std::move(m_pSourceFacts);
    std::vector<sFILEENTRY> entries;
    ScanSourcePath(path, scanned, ScanTarget{entries, folders, m_pTree, card}, item, depth, facts.get());
    SortEntriesRecorderFirst(entries);
    const bool found = !entries.empty();
    m_pList->SetEntries(std::move(entries));
    m_pTree->ExpandToItem(item);
    m_pList->RefillList();
    if (!noCountRedraw) RedrawFileCount();
    return found ? TRUE : FALSE;
}

BOOL CFilerContainerDlg::IsCardRootSource() const {
    return m_nSourceKind == SOURCE_SD || (m_nSourceKind == SOURCE_FOLDER && m_bRecorderFolder) ? TRUE : FALSE;
}

void CFilerContainerDlg::MakeOnlyRowCurrent(int row) {
    m_pList->SetCurrentRow(row);
    m_pList->SelectOnlyRow(row);
}

void CFilerContainerDlg::SelectFileRow(int row, BOOL cont) {
    m_bContinue = cont;
    if (!m_pList) return;
    if (row >= 0 && row < m_pList->GetItemCount()) MakeOnlyRowCurrent(row);
    if (row >= 0) m_pList->EnsureVisible(row);
}

IFileRows* CFilerContainerDlg::Rows() { return m_pList; }

void CFilerContainerDlg::SetCurrentRow(int row) {
    if (m_pList) m_pList->SetCurrentRow(row);
}

FolderTreeItem CFilerContainerDlg::SelectedFolder() const {
    return m_pTree ? m_pTree->GetSelectedItem() : kFolderTreeRoot;
}

FolderTreeItem CFilerContainerDlg::NextFolder(FolderTreeItem item) const {
    return m_pTree ? m_pTree->GetNextSiblingItem(item) : kFolderTreeRoot;
}

void CFilerContainerDlg::SelectFolder(FolderTreeItem item) {
    if (m_pTree) m_pTree->SelectItem(item);
}

std::vector<sFILEENTRY> CFilerContainerDlg::GatherSourceFiles() {
    // A job is about to change the source: nothing read before it serves after it.
    m_pSourceFacts.reset();
    m_vecSourceFiles.clear();
    m_watcher.ClearLost();
    ResetEntrySerialCounter();
    int files = 0;
    if (IsCardRootSource()) {
        if (m_pTree) CollectMovieEntries(m_pTree->GetRootPath(), m_vecSourceFiles, files, 0);
    } else if (m_nSourceKind == SOURCE_FILE) {
        AddMovieEntry(m_watcher.GetPath(), m_vecSourceFiles);
    } else if (m_pTree && m_pTree->GetRootItem() != kFolderTreeRoot) {
        CollectMovieEntries(m_pTree->GetItemPath(m_pTree->GetRootItem()), m_vecSourceFiles, files, 0);
    }
    return m_vecSourceFiles;
}

void CFilerContainerDlg::SetFilterButton(int kind, BOOL on) {
    if (kind < 0 || kind >= kRecordingKindCount || !m_pList) return;
    if (CSkinButton* button = m_apFilter[kind]) {
        button->SetLatched(on);
        button->update();
    }
    const NamedMutexHandle cache = OpenNamedMutex("hMutexCache");
    std::lock_guard lock(*cache);
    // The recording the owner holds, which stays current wherever the refilled list shows it.
    const std::optional<sFILEENTRY> held = m_pOwner ? m_pList->EntryAt(m_pOwner->GetCurrentFileRow()) : std::nullopt;
    m_pList->SetFilter(kind, on != FALSE);
    m_pList->RefillList();
    const int kept = held ? m_pList->RowOf(held->path) : -1;
    int row = 0;
    if (kept >= 0) {
        row = kept;
        m_pOwner->MoveCurrentFileRow(row);
    }
    // Else row 0 of the refilled list is opened, even when the owner's current row is 0 too:
    // that row may now show another recording. The request lasts for this selection only,
    // so a later click on the current row does not reopen it.
    m_bRefilter = TRUE;
    if (m_pList->GetItemCount() > 0) {
        MakeOnlyRowCurrent(row);
        m_pList->EnsureVisible(row);
    }
    m_bRefilter = FALSE;
}

BOOL CFilerContainerDlg::TakeRefilter() {
    const BOOL requested = m_bRefilter;
    m_bRefilter = FALSE;
    return requested;
}

void CFilerContainerDlg::EnableBrowserControls(BOOL enable) {
    std::vector<QWidget*> controls{m_pTree, m_pList};
    for (int i = 0; i < kRecordingKindCount; ++i) {
        if (g_bLimitedModel && enable && (i == REC_SPEED_CAMERA || i == REC_RADAR)) continue;
        controls.push_back(m_apFilter[i]);
    }
    QWidget* focus = window()->focusWidget();
    if (!enable && focus && focus != this && std::find(controls.begin(), controls.end(), focus) != controls.end()) {
        // A disabled control hands the keyboard on to the next one in the chain, and that one
        // on again as it is disabled in turn; held by the pane, it is found here again.
        m_pFocusBack = focus;
        setFocus(Qt::OtherFocusReason);
    }
    for (QWidget* control : controls)
        if (control) control->setEnabled(enable);
    if (enable && m_pFocusBack) {
        if (window()->focusWidget() == this && m_pFocusBack->isEnabled() && m_pFocusBack->isVisible())
            m_pFocusBack->setFocus(Qt::OtherFocusReason);
        m_pFocusBack = nullptr;
    }
}

// ---- the recorder on the card -------------------------------------------------------------

void CFilerContainerDlg::IdentifyRecorder(const std::string& root) {
    if (m_vecFolders.empty()) return;
    const int layout = std::clamp(g_nFolderLayout.load(), 0, kFolderLayoutCount - 1);
    const std::string_view first = FolderLayoutTable[layout][LAYOUT_ROW_MOVIE].folder;
    const std::string_view second = FolderLayoutTable[layout][LAYOUT_ROW_PARKING_MOVIE].folder;
    // Only the last recording in recorder order is read, so the names are sorted first and
    // only that one (or, when it cannot be opened, the one before) is opened. The movies the
    // card scan just listed serve where they lie in the folder; the folder is listed again
    // only when the scan took none from it.
    std::vector<sFILEENTRY> candidates;
    const std::vector<sFILEENTRY> scanned = m_pList ? m_pList->CopyOfFolder() : std::vector<sFILEENTRY>();
    for (const sFILEENTRY& folder : m_vecFolders) {
        if (!PathIsDirectory(folder.path)) continue;
        if (FindNoCase(folder.path, first) == std::string_view::npos &&
            FindNoCase(folder.path, second) == std::string_view::npos)
            continue;
        std::vector<sFILEENTRY> listing;
        for (const sFILEENTRY& e : scanned)
            if (PathRemoveFileSpec(e.path) == folder.path || PathRemoveFileSpec(e.path) == folder.path + "/")
                listing.push_back(e);
        if (listing.empty()) EnumerateFolder(folder.path, listing);
        std::erase_if(listing, [](const sFILEENTRY& e) {
            const RecordingKind kind = GetRecordingKind(e.path);
            return IsDirectoryEntry(e) || !IsMovFile(e.path) || kind < REC_CONTINUOUS || kind > REC_RADAR;
        });
        SortEntriesRecorderFirst(listing);
        for (auto it = listing.rbegin(); it != listing.rend() && candidates.empty(); ++it)
            AddMovieEntry(it->path, candidates);
        if (!candidates.empty()) break;
    }
    if (!candidates.empty() && g_aPlayChannel[0].initialised) {
        const std::string& last = candidates.back().path;
        RecorderHeader header;
        if (ReadRecorderHeader(&header, last)) {
            const std::string version = FormatRecorderVersion(header.version);
            if (!version.empty()) m_strVersion = version;
        }
        std::array<std::uint8_t, kRecorderEndSize> trailer{};
        if (ReadRecorderEnd(&trailer, last)) {
            const std::string number = FormatRecorderNumber(trailer.data(), trailer.size());
            if (!number.empty()) m_strNumber = number;
        }
    }
    m_strModelKey.clear();
    g_bLimitedModel = FALSE;
    for (const char* key : kModelShortcutKeys) {
        const std::string found = FindChildNoCase(root, std::string(key) + ".url");
        if (found.empty() || !fs::is_regular_file(fs::path(root) / found)) continue;
        m_strModelKey = key;
        g_bLimitedModel = m_strModelKey == kLimitedModelKey ? TRUE : FALSE;
        break;
    }
}

void CFilerContainerDlg::ClearBrowser() {
    m_pSourceFacts.reset();
    m_bClearing = TRUE;
    if (m_pTree) m_pTree->DeleteAllItems();
    m_vecFolders.clear();
    m_bClearing = FALSE;
    if (m_pList && m_pPathEdit) m_pPathEdit->clear();
    ClearList();
}

void CFilerContainerDlg::ClearList() {
    if (m_pList) m_pList->ClearEntries();
}

}  // namespace orv
