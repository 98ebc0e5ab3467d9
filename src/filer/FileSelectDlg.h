// The dialog in which the user ticks the recordings a long job works on: deleting them,
// backing them up, or joining several movies into one. It lists file names with their
// sizes, shows the total size of the ticked rows and returns the ticked entries. In the
// join mode it lists only ".MOV" files, keeps the ticked rows one unbroken run, and
// refuses a selection of more than 1024 MiB or of 100 files or more. UI thread only.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QString>

#include <cstdint>
#include <vector>

#include "recorder/FileEntry.h"
#include "ui/SkinCheckButton.h"
#include "ui/SkinDialog.h"
#include "ui/SkinListCtrl.h"

namespace orv {

constexpr int IDC_SELECT_LIST = 1003;
constexpr int IDC_SHOW_ALL = 1004;
constexpr int IDC_TICK_ALL = 1005;
constexpr int IDC_SELECT_TOTAL = 1006;

// At most this many entries enter the dialog's lists.
constexpr std::size_t kMaxSelectEntries = 1500;
// Limits of a join: the bytes of the movies, companions and data files together, and the
// number of movies.
constexpr std::uint64_t kMaxJoinBytes = std::uint64_t(1024) << 20;
constexpr int kMaxJoinFiles = 100;
// The join mark's colours, COLORREF: magenta text on yellow.
constexpr COLORREF kJoinMarkText = 0xFF00FF;
constexpr COLORREF kJoinMarkBack = 0x00FFFF;

// The bytes a row stands for: its movie, the rear companion and the data file, which a delete
// removes and a join writes with it, and which the total counts.
std::uint64_t RecordingBytes(const sFILEENTRY& entry);

// "%llu MB" of `bytes` to the nearest megabyte (2^20 bytes): 5.97 MB reads "6 MB".
QString MegabytesText(std::uint64_t bytes);

// The sizes of the ticked rows.
struct SelectTotals {
    std::uint64_t movie = 0;
    std::uint64_t companion = 0;
    std::uint64_t data = 0;
    int count = 0;
    std::uint64_t Bytes() const { return movie + companion + data; }
};

// The run of ticked rows: its first row (-1 for none) and the first unticked row after it
// (the row count when there is none).
struct TickedRun {
    int first = -1;
    int end = 0;
};
TickedRun FindTickedRun(const std::vector<bool>& ticked);

// The rows whose tick changes when row `changed` was just set to `nowTicked`, given the
// run as it stood before: the gap between the run and a newly ticked row is filled, and
// unticking a row inside the run unticks the rest of the run behind it. Returns the rows
// to tick (first) and to untick (second).
struct RunAdjustment {
    std::vector<int> tick;
    std::vector<int> untick;
};
RunAdjustment KeepRunContiguous(TickedRun before, int changed, bool nowTicked);

class CFileSelectDlg : public CSkinDialog {
public:
    enum Mode { MODE_DELETE = 0, MODE_BACKUP = 1, MODE_JOIN = 2 };

    explicit CFileSelectDlg(QWidget* parent = nullptr);

    int SetListedEntries(const std::vector<sFILEENTRY>& entries);
    int SetSourceEntries(const std::vector<sFILEENTRY>& entries);

    BOOL OnInitDialog() override;
    void ShowList(BOOL all);
    void OnCheckButton(int id);
    void OnItemChanged(int row);
    int UpdateTotal();
    void OnOK();

    // The row's tick, and setting it as a click would (raising the item-changed rule).
    bool IsTicked(int row) const;
    void SetTicked(int row, bool ticked);

    CSkinListCtrl* GetList() const { return m_pList; }
    QLabel* GetTotalLabel() const { return m_pTotal; }
    QPushButton* GetOkButton() const { return m_pOk; }
    CSkinCheckButton* GetCheckButton(int id) const;
    BOOL IsOverSize() const { return m_bOverSize; }
    BOOL IsTooMany() const { return m_bTooMany; }
    const std::vector<sFILEENTRY>& GetShownEntries() const { return m_vecShown; }
    const std::vector<sFILEENTRY>& GetListedEntries() const { return m_vecListed; }
    const std::vector<sFILEENTRY>& GetSourceEntries() const { return m_vecSource; }
    SelectTotals Totals() const;

    // MODE_DELETE, MODE_JOIN or MODE_BACKUP; set before the entries.
    void SetMode(int mode) { m_nMode = mode; }

    std::vector<sFILEENTRY> m_vecResult;

private:
    void FindTickedRunOfList();

    int m_nMode = MODE_DELETE;

    CSkinListCtrl* m_pList = nullptr;
    CSkinCheckButton* m_pShowAll = nullptr;
    CSkinCheckButton* m_pTickAll = nullptr;
    QLabel* m_pTotal = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
    std::vector<sFILEENTRY> m_vecListed;
    std::vector<sFILEENTRY> m_vecSource;
    std::vector<sFILEENTRY> m_vecShown;
    std::vector<bool> m_lastTicked;  // the ticks as the last change left them
    TickedRun m_run;
    BOOL m_bOverSize = FALSE;
    BOOL m_bTooMany = FALSE;
    bool m_bAdjusting = false;
};

}  // namespace orv
