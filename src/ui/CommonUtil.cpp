#include "ui/CommonUtil.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>
#include <QWidget>

#include <climits>
#include <memory>
#include <filesystem>
#include <mutex>

#include "platform/base/FileOps.h"
#include "platform/base/PathUtil.h"
#include "platform/files/DiskSpace.h"
#include "platform/files/RemovableMounts.h"
#include "platform/files/Trash.h"
#include "platform/ini/ProfileFile.h"
#include "ui/Diagonal.h"
#include "ui/ScaleFonts.h"

namespace orv {

std::string g_szStartDir;

namespace {

std::mutex g_seamLock;
FolderPicker g_folderPicker;
MonitorListProvider g_monitorProvider;

RECT ToRect(const QRect& r) { return RECT{r.x(), r.y(), r.x() + r.width(), r.y() + r.height()}; }

std::string SystemFolderPicker(QWidget* owner, std::string_view title, const std::string& start) {
    // The dialog only offers folders of the file system, so a choice always has a path.
    return QFileDialog::getExistingDirectory(
               owner, QString::fromUtf8(title.data(), qsizetype(title.size())),
               QString::fromStdString(start), QFileDialog::ShowDirsOnly)
        .toStdString();
}

// Qt's catalogue of the texts of its standard dialogs.
constexpr const char* kQtCatalogue = "qtbase";

std::vector<MonitorRects> ScreenMonitors() {
    std::vector<MonitorRects> out;
    for (const QScreen* screen : QGuiApplication::screens())
        out.push_back(MonitorRects{ToRect(screen->geometry()), ToRect(screen->availableGeometry())});
    return out;
}

// Squared distance from a point to a rectangle (0 inside); edges right and bottom exclusive.
long long DistanceSquared(const RECT& r, POINT p) {
    const long long dx = p.x < r.left ? r.left - p.x : (p.x >= r.right ? p.x - (r.right - 1) : 0);
    const long long dy = p.y < r.top ? r.top - p.y : (p.y >= r.bottom ? p.y - (r.bottom - 1) : 0);
    return dx * dx + dy * dy;
}

// Places a window's outer top-left corner at (left, top) in screen coordinates.
void MoveWindowTo(QWidget* window, int left, int top) {
    if (window->isWindow() || !window->parentWidget())
        window->move(left, top);
    else
        window->move(window->parentWidget()->mapFromGlobal(QPoint(left, top)));
}

}  // namespace

void CaptureStartDir() {
    std::error_code ec;
    const std::filesystem::path cwd = std::filesystem::current_path(ec);
    g_szStartDir = ec ? std::string() : cwd.string();
}

std::string GetStartDir() { return g_szStartDir; }

std::string SettingsFilePath() {
    return g_szStartDir.empty() ? std::string() : PathAppend(g_szStartDir, kSettingsFileName);
}

BOOL WriteIniString(std::string_view section, std::string_view key, std::string_view value) {
    const std::string path = SettingsFilePath();
    if (path.empty() || !WriteProfileString(path, section, key, value)) return FALSE;
    FileOps().SetHidden(path, true);
    return TRUE;
}

std::string ReadIniString(std::string_view section, std::string_view key) {
    const std::string path = SettingsFilePath();
    std::string value;
    if (path.empty() || !ReadProfileString(path, section, key, &value)) return std::string();
    return value;
}

int ListRemovableDrives(std::vector<std::string>& drives) {
    const std::vector<std::string> mounts = ListRemovableMounts();
    if (mounts.empty()) return -1;
    drives.insert(drives.end(), mounts.begin(), mounts.end());
    return int(drives.size()) - 1;
}

BOOL DeleteToRecycleBin(const std::string& path) {
    return !path.empty() && MoveToTrash(path) ? TRUE : FALSE;
}

void SetFolderPicker(FolderPicker picker) {
    std::lock_guard<std::mutex> lock(g_seamLock);
    g_folderPicker = std::move(picker);
}

QTranslator* InstallQtTranslation() {
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QString::fromLatin1(kQtCatalogue),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return nullptr;
    if (!QCoreApplication::installTranslator(translator.get())) return nullptr;
    return translator.release();
}

std::string BrowseForFolder(QWidget* owner, std::string_view section, std::string_view key,
                            std::string_view title) {
    std::string start = ReadIniString(section, key);
    if (start.empty()) start = GetStartDir();
    FolderPicker picker;
    {
        std::lock_guard<std::mutex> lock(g_seamLock);
        picker = g_folderPicker;
    }
    return picker ? picker(owner, title, start) : SystemFolderPicker(owner, title, start);
}

void SetMonitorListProvider(MonitorListProvider provider) {
    std::lock_guard<std::mutex> lock(g_seamLock);
    g_monitorProvider = std::move(provider);
}

std::vector<MonitorRects> ListMonitors() {
    MonitorListProvider provider;
    {
        std::lock_guard<std::mutex> lock(g_seamLock);
        provider = g_monitorProvider;
    }
    return provider ? provider() : ScreenMonitors();
}

int NearestRect(const std::vector<RECT>& areas, POINT pt) {
    int best = -1;
    long long bestDistance = LLONG_MAX;
    for (size_t i = 0; i < areas.size(); ++i) {
        const long long d = DistanceSquared(areas[i], pt);
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return best;
}

bool GetMonitorRects(RECT* work, RECT* monitor, POINT pt) {
    const std::vector<MonitorRects> monitors = ListMonitors();
    std::vector<RECT> areas;
    for (const MonitorRects& m : monitors) areas.push_back(m.monitor);
    const int best = NearestRect(areas, pt);
    if (work) *work = best >= 0 ? monitors[size_t(best)].work : RECT{};
    if (monitor) *monitor = best >= 0 ? monitors[size_t(best)].monitor : RECT{};
    return best >= 0;
}

void KeepWindowOnMonitors(QWidget* window) {
    if (!window) return;
    for (int moves = 0; moves < kMaxMonitorMoves; ++moves) {
        const RECT r = WindowRectOf(window);
        RECT w;
        if (!GetMonitorRects(&w, nullptr, POINT{r.left, r.top})) return;
        CDiagonal d1;  // top-left to bottom-right
        CDiagonal d2;  // bottom-left to top-right
        d1.TestEnds(POINT{r.left, r.top}, POINT{r.right, r.bottom});
        d2.TestEnds(POINT{r.left, r.bottom}, POINT{r.right, r.top});

        int dx = 0;
        int dy = 0;
        bool checkAgain = false;
        if (d1.m_bAlike && d2.m_bAlike && (d1.m_bBoth || d2.m_bBoth)) {
            // Later tests win.
            if (w.left > r.right) dx = r.left - w.left;
            if (w.top > r.bottom) dy = r.top - w.top;
            if (w.right < r.left) dx = r.right - w.right;
            if (w.bottom < r.top) dy = r.bottom - w.bottom;
            checkAgain = true;
        } else if (d1.m_bNeither && d2.m_bNeither) {
            if (w.left <= r.left) dx = r.right - w.right;
            if (w.top <= r.top) dy = r.bottom - w.bottom;
            if (w.right >= r.right) dx = r.left - w.left;
            if (w.bottom >= r.bottom) dy = r.top - w.top;
        } else if (d1.m_bOnlyB && !d2.m_bOnlyB) {
            // Top-left corner off the monitors, bottom-right corner on one: only the top
            // is aligned with the work area under the bottom-right corner.
            dy = r.top - d1.m_rcWorkB.top;
            if (dy != 0) MoveWindowTo(window, r.left, r.top - dy);
            return;
        } else {
            return;
        }
        if (dx == 0 && dy == 0) return;
        MoveWindowTo(window, r.Width() > w.Width() ? w.left : r.left - dx,
                     r.Height() > w.Height() ? w.top : r.top - dy);
        if (!checkAgain) return;
    }
}

RECT WindowRectOf(const QWidget* widget) {
    if (!widget) return RECT{};
    if (widget->isWindow()) return ToRect(widget->frameGeometry());
    return ToRect(QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size()));
}

RECT* GetWindowRectIn(RECT* out, const QWidget* parent, const QWidget* child) {
    if (!out) return out;
    const RECT p = WindowRectOf(parent);
    const RECT c = WindowRectOf(child);
    const int dx = -p.left;
    const int dy = -(p.top + 1);
    *out = RECT{c.left + dx, c.top + dy, c.right + dx, c.bottom + dy};
    return out;
}

QImage LoadScaledBitmap(const QString& resource) {
    const QImage image(resource);
    if (image.isNull() || image.height() == 0) return QImage();
    const int w = image.width();
    const int h = image.height();
    int targetW = int(float(w) * g_fScale);
    int targetH = int(float(h) * g_fScale);
    if (w % h == 0) targetW = (w / h) * targetH;
    // A size of 0 (no scale yet) loads the picture at its own size, as the image loader does.
    if (targetW <= 0) targetW = w;
    if (targetH <= 0) targetH = h;
    if (targetW == w && targetH == h) return image;
    return image.scaled(targetW, targetH, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

std::uint64_t GetFreeDiskSpace(const std::string& root) { return FreeDiskBytes(root).value_or(0); }

BOOL IsMovFile(std::string_view path) {
    return EqualsNoCase(PathFindExtension(path), ".MOV") ? TRUE : FALSE;
}

std::string TrimVersion(std::string_view text) {
    std::size_t dot = std::string_view::npos;
    for (int i = 0; i < 3; ++i) {
        dot = text.find('.', dot == std::string_view::npos ? 0 : dot + 1);
        if (dot == std::string_view::npos) return std::string(text);
    }
    return std::string(text.substr(0, dot));
}

std::string FormatDateSlashes(std::string_view text) {
    std::string out;
    const std::size_t count = Utf8Length(text);
    for (std::size_t i = 0; i < count; ++i) {
        out += Utf8Substr(text, i, 1);
        if (i % 2 == 1 && i != 5) out += '/';
    }
    return out;
}

}  // namespace orv
