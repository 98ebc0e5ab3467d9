#include "filer/FileSelectDlg.h"

#include <QHeaderView>
#include <QPalette>

#include <algorithm>

#include "filer/FilerMessage.h"
#include "platform/base/PathUtil.h"
#include "platform/gdi/DeviceContext.h"
#include "platform/gdi/SkinResources.h"
#include "ui/CommonUtil.h"
#include "ui/ImageList.h"
#include "ui/ScaleFonts.h"
#include "ui/Scaled.h"
#include "ui/text/UiText.h"

namespace orv {

namespace {

int t(int designPixels) { return Scaled(designPixels); }

QString Text(int id) { return QString::fromUtf8(UiText(id)); }

std::size_t AppendCapped(std::vector<sFILEENTRY>& to, const std::vector<sFILEENTRY>& from) {
    const std::size_t room = to.size() < kMaxSelectEntries ? kMaxSelectEntries - to.size() : 0;
    const std::size_t taken = std::min(room, from.size());
    to.insert(to.end(), from.begin(), from.begin() + std::ptrdiff_t(taken));
    return taken;
}

}  // namespace

TickedRun FindTickedRun(const std::vector<bool>& ticked) {
    TickedRun run;
    const int count = int(ticked.size());
    run.end = count;
    for (int r = 0; r < count; ++r) {
        if (ticked[std::size_t(r)]) {
            run.first = r;
            break;
        }
    }
    if (run.first < 0) return run;
    for (int r = run.first + 1; r < count; ++r) {
        if (!ticked[std::size_t(r)]) {
            run.end = r;
            break;
        }
    }
    return run;
}

RunAdjustment KeepRunContiguous(TickedRun before, int changed, bool nowTicked) {
    RunAdjustment adjust;
    if (changed < 0 || before.first < 0 || before.end < 0) return adjust;
    std::vector<int>& target = nowTicked ? adjust.tick : adjust.untick;
    if (changed < before.first) {
        for (int r = changed + 1; r < before.first; ++r) target.push_back(r);
    } else if (changed >= before.end) {
        for (int r = before.end; r < changed; ++r) target.push_back(r);
    } else if (!nowTicked && changed > before.first) {
        for (int r = changed + 1; r < before.end; ++r) adjust.untick.push_back(r);
    }
    return adjust;
}

CFileSelectDlg::CFileSelectDlg(QWidget* parent) : CSkinDialog(parent) {}

int CFileSelectDlg::SetListedEntries(const std::vector<sFILEENTRY>& entries) {
    if (AppendCapped(m_vecListed, entries) < entries.size()) ShowFilerMessage(this, 103);
    return 1;
}

int CFileSelectDlg::SetSourceEntries(const std::vector<sFILEENTRY>& entries) {
    return AppendCapped(m_vecSource, entries) < entries.size() ? 0 : 1;
}

CSkinCheckButton* CFileSelectDlg::GetCheckButton(int id) const {
    return id == IDC_SHOW_ALL ? m_pShowAll : id == IDC_TICK_ALL ? m_pTickAll : nullptr;
}

BOOL CFileSelectDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    m_pList = new CSkinListCtrl(this);
    m_pTotal = new QLabel(this);
    m_pOk = new QPushButton(this);
    m_pCancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
    for (QPushButton* button : {m_pOk, m_pCancel}) button->setAutoDefault(false);
    if (g_hFont10) {
        setFont(*g_hFont10);
        m_pList->setFont(*g_hFont10);
        m_pOk->setFont(*g_hFont10);
        m_pTotal->setFont(*g_hFont10);
    }
    const int w = t(520), h = t(500);
    RECT monitor{};
    if (GetMonitorRects(nullptr, &monitor, POINT{pos().x(), pos().y()}))
        move(monitor.left + (monitor.right - monitor.left - w) / 2, monitor.top + (monitor.bottom - monitor.top - h) / 2);
    setFixedSize(w, h);
    CreateCloseButton(19);

    m_pList->setColumnCount(2);
    m_pList->setHeaderLabels({Text(46), Text(47)});
    m_pList->header()->resizeSection(0, t(270));
    m_pList->header()->resizeSection(1, t(120));
    m_pList->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    ImageList states;
    states.CreateScaled(QImage(SkinResourcePath(217)), 4, t(12), t(12));
    m_pList->SetStateImageList(states);
    QObject::connect(m_pList, &QTreeWidget::itemChanged, this,
                     [this](QTreeWidgetItem* item, int) { OnItemChanged(m_pList->indexOfTopLevelItem(item)); });

    ShowList(FALSE);

    const QRect c = rect();
    m_pList->setGeometry(t(10), t(10) + t(20), c.right() + 1 - t(20), c.bottom() + 1 - t(140));
    m_pTotal->setGeometry(c.right() + 1 - t(160), c.bottom() + 1 - t(70), t(140), t(20));
    m_pTotal->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pOk->setGeometry(c.right() + 1 - t(130), c.bottom() + 1 - t(40), t(120), t(30));
    m_pCancel->setGeometry(c.right() + 1 - t(260), c.bottom() + 1 - t(40), t(120), t(30));
    m_pShowAll = new CSkinCheckButton(this);
    m_pTickAll = new CSkinCheckButton(this);
    m_pShowAll->setText(Text(52));
    m_pTickAll->setText(Text(51));
    m_pShowAll->setGeometry(t(20), c.bottom() + 1 - t(70), t(200), t(20));
    m_pTickAll->setGeometry(t(20), c.bottom() + 1 - t(40), t(200), t(20));
    ImageList boxes;
    boxes.CreateScaled(QImage(SkinResourcePath(217)), 4, t(12), t(12));
    for (CSkinCheckButton* check : {m_pShowAll, m_pTickAll}) {
        if (g_hFont10) check->setFont(*g_hFont10);
        check->SetImageList(boxes);
    }
    QObject::connect(m_pShowAll, &QAbstractButton::clicked, this, [this] { OnCheckButton(IDC_SHOW_ALL); });
    QObject::connect(m_pTickAll, &QAbstractButton::clicked, this, [this] { OnCheckButton(IDC_TICK_ALL); });
    QObject::connect(m_pOk, &QPushButton::clicked, this, [this] { OnOK(); });
    QObject::connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });

    switch (m_nMode) {
    case MODE_DELETE:
        setWindowTitle(Text(43));
        m_pOk->setText(Text(43));
        break;
    case MODE_BACKUP:
        setWindowTitle(Text(39));
        m_pOk->setText(Text(49));
        break;
    default:
        m_pShowAll->hide();
        setWindowTitle(Text(40));
        m_pOk->setText(Text(41));
        break;
    }
    UpdateTotal();
    return TRUE;
}

std::uint64_t RecordingBytes(const sFILEENTRY& entry) {
    return entry.movieSize + entry.companionSize + entry.dataSize;
}

QString MegabytesText(std::uint64_t bytes) {
    constexpr std::uint64_t kHalf = std::uint64_t(1) << 19;
    return QStringLiteral("%1 MB").arg(qulonglong((bytes + kHalf) >> 20));
}

void CFileSelectDlg::ShowList(BOOL all) {
    if (!m_pList) return;
    m_bAdjusting = true;
    m_vecShown.clear();
    m_pList->clear();
    for (const sFILEENTRY& entry : all ? m_vecSource : m_vecListed) {
        if (m_nMode == MODE_JOIN && FindNoCase(PathFindExtension(entry.path), ".MOV") == std::string_view::npos)
            continue;
        m_vecShown.push_back(entry);
        auto* row = new QTreeWidgetItem(m_pList);
        row->setText(0, QString::fromStdString(std::string(PathFindFileName(entry.path))));
        row->setText(1, MegabytesText(RecordingBytes(entry)));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        // A movie that a join made is marked in the join list.
        if (m_nMode == MODE_JOIN && entry.reserved == 1) {
            for (int column = 0; column < 2; ++column) {
                row->setForeground(column, ToQColor(kJoinMarkText));
                row->setBackground(column, ToQColor(kJoinMarkBack));
            }
        }
        m_pList->SetItemState(m_pList->topLevelItemCount() - 1, INDEXTOSTATEIMAGEMASK(CSkinListCtrl::kUnticked),
                              LVIS_STATEIMAGEMASK);
    }
    m_lastTicked.assign(m_vecShown.size(), false);
    m_bAdjusting = false;
    FindTickedRunOfList();
}

bool CFileSelectDlg::IsTicked(int row) const {
    return m_pList && (m_pList->GetItemState(row, LVIS_STATEIMAGEMASK) >> 12) == CSkinListCtrl::kTicked;
}

void CFileSelectDlg::SetTicked(int row, bool ticked) {
    if (!m_pList) return;
    m_pList->SetItemState(row, INDEXTOSTATEIMAGEMASK(ticked ? CSkinListCtrl::kTicked : CSkinListCtrl::kUnticked),
                          LVIS_STATEIMAGEMASK);
}

void CFileSelectDlg::FindTickedRunOfList() {
    std::vector<bool> ticked(m_vecShown.size());
    for (std::size_t r = 0; r < ticked.size(); ++r) ticked[r] = IsTicked(int(r));
    m_lastTicked = ticked;
    m_run = FindTickedRun(ticked);
}

void CFileSelectDlg::OnCheckButton(int id) {
    CSkinCheckButton* check = GetCheckButton(id);
    if (!check) return;
    check->SetCheck(!check->GetCheck());
    check->update();
    ShowList(m_pShowAll && m_pShowAll->GetCheck());
    if (m_pTickAll && m_pTickAll->GetCheck()) {
        m_bAdjusting = true;
        for (int r = 0; r < m_pList->topLevelItemCount(); ++r) {
            const unsigned image = m_pList->GetItemState(r, LVIS_STATEIMAGEMASK) >> 12;
            if (image == CSkinListCtrl::kUnticked || image == CSkinListCtrl::kHot) {
                SetTicked(r, true);
            } else if (image == 0) {
                SetTicked(r, false);  // a row without a box gets an unticked one
            }
        }
        m_bAdjusting = false;
    }
    m_pList->viewport()->update();
    FindTickedRunOfList();
    UpdateTotal();
}

void CFileSelectDlg::OnItemChanged(int row) {
    if (m_bAdjusting || row < 0 || std::size_t(row) >= m_vecShown.size()) return;
    const bool ticked = IsTicked(row);
    if (m_lastTicked.size() == m_vecShown.size() && m_lastTicked[std::size_t(row)] == ticked) {
        UpdateTotal();
        return;  // the hover image of an unticked box came or went
    }
    if (m_nMode == MODE_JOIN) {
        const RunAdjustment adjust = KeepRunContiguous(m_run, row, ticked);
        m_bAdjusting = true;
        for (int r : adjust.tick) SetTicked(r, true);
        for (int r : adjust.untick) SetTicked(r, false);
        m_bAdjusting = false;
    }
    FindTickedRunOfList();
    UpdateTotal();
}

SelectTotals CFileSelectDlg::Totals() const {
    SelectTotals totals;
    for (std::size_t r = 0; r < m_vecShown.size(); ++r) {
        if (!IsTicked(int(r))) continue;
        totals.movie += m_vecShown[r].movieSize;
        totals.companion += m_vecShown[r].companionSize;
        totals.data += m_vecShown[r].dataSize;
        ++totals.count;
    }
    return totals;
}

int CFileSelectDlg::UpdateTotal() {
    const SelectTotals totals = Totals();
    if (m_pTotal) m_pTotal->setText(MegabytesText(totals.Bytes()));
    if (m_nMode == MODE_JOIN) {
        // The bytes themselves: three sums each cut to whole megabytes could pass a
        // selection over the limit.
        m_bOverSize = totals.Bytes() > kMaxJoinBytes ? TRUE : FALSE;
        m_bTooMany = totals.count >= kMaxJoinFiles ? TRUE : FALSE;
    }
    if (m_pTotal) {
        QPalette palette = m_pTotal->palette();
        palette.setColor(QPalette::WindowText, m_bOverSize ? ToQColor(0x0000FF) : QColor(Qt::black));
        m_pTotal->setPalette(palette);
    }
    // No mode ends with an empty result: OK waits for a ticked row.
    if (m_pOk) m_pOk->setEnabled(totals.count >= 1);
    return totals.count;
}

void CFileSelectDlg::OnOK() {
    if (m_bOverSize) {
        ShowFilerMessage(this, 138);
        return;
    }
    if (m_bTooMany) {
        ShowFilerMessage(this, 140);
        return;
    }
    std::vector<sFILEENTRY> result;
    for (std::size_t r = 0; r < m_vecShown.size(); ++r)
        if (IsTicked(int(r))) result.push_back(m_vecShown[r]);
    if (result.empty()) return;
    m_vecResult.insert(m_vecResult.end(), result.begin(), result.end());
    accept();
}

}  // namespace orv
