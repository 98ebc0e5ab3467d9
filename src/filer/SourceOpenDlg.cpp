#include "filer/SourceOpenDlg.h"

#include <QCoreApplication>
#include <QFileDialog>

#include <vector>

#include "filer/FilerMessage.h"
#include "platform/base/PathUtil.h"
#include "ui/CommonUtil.h"
#include "ui/ImageList.h"
#include "ui/ScaleFonts.h"
#include "ui/Scaled.h"
#include "ui/text/UiText.h"
#include "platform/gdi/SkinResources.h"
#include "recorder/RecordingName.h"

namespace orv {

namespace {

OpenFilePicker& Picker() {
    static OpenFilePicker picker;
    return picker;
}

int t(int designPixels) { return Scaled(designPixels); }

QRect RowRect(int left, int right, int row) { return QRect(QPoint(t(left), t(50 * row)), QPoint(t(right) - 1, t(26 + 50 * row) - 1)); }

}  // namespace

void CSourceOpenDlg::SetOpenFilePicker(OpenFilePicker picker) { Picker() = std::move(picker); }

CSourceOpenDlg::CSourceOpenDlg(QWidget* parent) : CSkinDialog(parent) {}

CSkinCheckButton* CSourceOpenDlg::GetKindButton(int id) const {
    return id >= IDC_SOURCE_SD && id <= IDC_SOURCE_FILE ? m_apKind[id - IDC_SOURCE_SD] : nullptr;
}

void CSourceOpenDlg::PlaceDialog() {
    const int w = t(540), h = t(250);
    RECT monitor{};
    const QPoint corner = pos();
    if (GetMonitorRects(nullptr, &monitor, POINT{corner.x(), corner.y()})) {
        move(monitor.left + (monitor.right - monitor.left - w) / 2, monitor.top + (monitor.bottom - monitor.top - h) / 2);
    }
    setFixedSize(w, h);
}

void CSourceOpenDlg::CreateRow(int row, int id, int textId) {
    auto* check = new CSkinCheckButton(this);
    check->setText(QString::fromUtf8(UiText(textId)));
    check->setGeometry(RowRect(30, 150, row));
    if (g_hFont10) check->setFont(*g_hFont10);
    ImageList boxes;
    boxes.CreateScaled(QImage(SkinResourcePath(217)), 4, t(12), t(12));
    check->SetImageList(boxes);
    QObject::connect(check, &QAbstractButton::clicked, this, [this, id] { OnKindClicked(id); });
    m_apKind[id - IDC_SOURCE_SD] = check;

    const QRect field = RowRect(150, 450, row);
    if (id == IDC_SOURCE_SD) {
        m_pDrives = new QComboBox(this);
        m_pDrives->setGeometry(field);
        if (g_hFont10) m_pDrives->setFont(*g_hFont10);
        QObject::connect(m_pDrives, &QComboBox::currentIndexChanged, this, [this] { OnDriveChanged(); });
        return;
    }
    auto* edit = new QLineEdit(this);
    edit->setGeometry(field);
    if (g_hFont10) edit->setFont(*g_hFont10);
    auto* browse = new QPushButton(QStringLiteral("..."), this);
    browse->setAutoDefault(false);
    browse->setGeometry(RowRect(470, 510, row));
    if (g_hFont10) browse->setFont(*g_hFont10);
    // A path typed by hand counts as much as one picked: typing chooses the row, and OK
    // follows the field's text.
    QObject::connect(edit, &QLineEdit::textEdited, this, [this, id] { OnKindClicked(id); });
    QObject::connect(edit, &QLineEdit::textChanged, this, [this, id] {
        if (m_nKind == (id == IDC_SOURCE_FOLDER ? SOURCE_FOLDER : SOURCE_FILE)) OnKindClicked(id);
    });
    if (id == IDC_SOURCE_FOLDER) {
        m_pFolderEdit = edit;
        m_pBrowseFolder = browse;
        QObject::connect(browse, &QPushButton::clicked, this, [this] { OnBrowseFolder(); });
    } else {
        m_pFileEdit = edit;
        m_pOpenFile = browse;
        QObject::connect(browse, &QPushButton::clicked, this, [this] { OnOpenFile(); });
    }
}

BOOL CSourceOpenDlg::OnInitDialog() {
    CSkinDialog::OnInitDialog();
    PlaceDialog();
    if (g_hFont10) setFont(*g_hFont10);
    setWindowTitle(QString::fromUtf8(UiText(132)));

    CreateRow(1, IDC_SOURCE_SD, 133);
    CreateRow(2, IDC_SOURCE_FOLDER, 131);
    CreateRow(3, IDC_SOURCE_FILE, 130);

    // OK and Cancel stand in the bottom-right corner, below the rows.
    m_pOk = new QPushButton(QStringLiteral("OK"), this);
    m_pCancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
    for (QPushButton* button : {m_pOk, m_pCancel}) {
        button->setAutoDefault(false);
        if (g_hFont10) button->setFont(*g_hFont10);
    }
    m_pOk->setGeometry(t(300), t(200), t(100), t(30));
    m_pCancel->setGeometry(t(410), t(200), t(100), t(30));
    QObject::connect(m_pOk, &QPushButton::clicked, this, [this] { OnOK(); });
    QObject::connect(m_pCancel, &QPushButton::clicked, this, [this] { reject(); });
    CreateCloseButton(20);

    std::vector<std::string> drives;
    const int last = ListRemovableDrives(drives);
    {
        const QSignalBlocker block(m_pDrives);
        m_pDrives->clear();
        for (const std::string& drive : drives) m_pDrives->addItem(QString::fromStdString(drive));
        m_pDrives->setCurrentIndex(last >= 0 ? last : -1);
    }
    if (last >= 0) m_strDrive = drives[std::size_t(last)];
    LoadSettings();
    return TRUE;
}

void CSourceOpenDlg::LoadSettings() {
    m_strFolder = ReadIniString(kSourceSection, kSourceFolderKey);
    m_strFile = ReadIniString(kSourceSection, kSourceFileKey);
    m_strDrive = ReadIniString(kSourceSection, kSourceSdKey);
    if (m_pFolderEdit) m_pFolderEdit->setText(QString::fromStdString(m_strFolder));
    if (m_pFileEdit) m_pFileEdit->setText(QString::fromStdString(m_strFile));
    // The source open in the browser first (a start-up opens the card whatever the settings
    // name), else the settings' last choice.
    SourceKind kind = m_nOpenKind;
    if (kind == SOURCE_NONE) {
        const std::string select = ReadIniString(kSourceSection, kSourceSelectKey);
        kind = select == "FOLDER" ? SOURCE_FOLDER : select == "FILE" ? SOURCE_FILE : SOURCE_SD;
    }
    if (kind == SOURCE_SD && m_pDrives && m_nOpenKind == SOURCE_SD) {
        const int open = m_pDrives->findText(QString::fromStdString(m_strOpenPath));
        if (open >= 0) m_pDrives->setCurrentIndex(open);
    }
    // A card row with no card to choose would leave OK disabled: the folder row is offered.
    if (kind == SOURCE_SD && !(m_pDrives && m_pDrives->currentIndex() >= 0)) kind = SOURCE_FOLDER;
    OnKindClicked(kind == SOURCE_FOLDER ? IDC_SOURCE_FOLDER : kind == SOURCE_FILE ? IDC_SOURCE_FILE : IDC_SOURCE_SD);
}

void CSourceOpenDlg::OnKindClicked(int id) {
    const bool drive = m_pDrives && m_pDrives->currentIndex() >= 0;
    const bool folder = m_pFolderEdit && !m_pFolderEdit->text().isEmpty();
    const bool file = m_pFileEdit && !m_pFileEdit->text().isEmpty();
    bool ok = false;
    switch (id) {
    case IDC_SOURCE_SD: m_nKind = SOURCE_SD; ok = drive; break;
    case IDC_SOURCE_FOLDER: m_nKind = SOURCE_FOLDER; ok = folder; break;
    case IDC_SOURCE_FILE: m_nKind = SOURCE_FILE; ok = file; break;
    default: return;
    }
    if (m_pOk) m_pOk->setEnabled(ok);
    for (int i = 0; i < 3; ++i) {
        if (!m_apKind[i]) continue;
        m_apKind[i]->SetCheck((IDC_SOURCE_SD + i == id) ? TRUE : FALSE);
        m_apKind[i]->update();
    }
}

void CSourceOpenDlg::OnDriveChanged() {
    if (!m_pDrives || m_pDrives->currentIndex() < 0) return;
    m_strDrive = m_pDrives->currentText().toStdString();
    OnKindClicked(IDC_SOURCE_SD);
}

void CSourceOpenDlg::OnBrowseFolder() {
    const std::string path = BrowseForFolder(this, kSourceSection, kSourceFolderKey, UiText(102));
    if (path.empty()) return;
    m_strFolder = path;
    m_pFolderEdit->setText(QString::fromStdString(path));
    OnKindClicked(IDC_SOURCE_FOLDER);
}

void CSourceOpenDlg::OnOpenFile() {
    const std::string start = QCoreApplication::applicationDirPath().toStdString() + "/*.mov";
    // The picker matches the pattern without regard to case, so "*.mov" finds the ".MOV" files.
    const QString filter = QStringLiteral("Movie Files(*.mov);;All Files(*.*)");
    std::string path;
    if (Picker()) {
        path = Picker()(this, start, filter);
    } else {
        path = QFileDialog::getOpenFileName(this, QString(), QString::fromStdString(PathRemoveFileSpec(start)), filter)
                   .toStdString();
    }
    if (path.empty()) return;
    if (!IsRecorderMovieName(path)) {
        ShowFilerMessage(this, 96);
        return;
    }
    m_strFile = path;
    m_pFileEdit->setText(QString::fromStdString(path));
    OnKindClicked(IDC_SOURCE_FILE);
}

void CSourceOpenDlg::OnOK() {
    if (m_pDrives && m_pDrives->currentIndex() >= 0) m_strDrive = m_pDrives->currentText().toStdString();
    if (m_pFolderEdit) m_strFolder = m_pFolderEdit->text().toStdString();
    if (m_pFileEdit) m_strFile = m_pFileEdit->text().toStdString();
    switch (m_nKind) {
    case SOURCE_SD:
        WriteIniString(kSourceSection, kSourceSelectKey, "SD");
        WriteIniString(kSourceSection, kSourceSdKey, m_strDrive);
        break;
    case SOURCE_FOLDER:
        WriteIniString(kSourceSection, kSourceSelectKey, "FOLDER");
        WriteIniString(kSourceSection, kSourceFolderKey, m_strFolder);
        break;
    case SOURCE_FILE:
        WriteIniString(kSourceSection, kSourceSelectKey, "FILE");
        WriteIniString(kSourceSection, kSourceFileKey, m_strFile);
        break;
    default: break;
    }
    accept();
}

std::string CSourceOpenDlg::GetSourcePath() const {
    switch (m_nKind) {
    case SOURCE_SD: return m_strDrive;
    case SOURCE_FOLDER: return m_strFolder;
    case SOURCE_FILE: return m_strFile;
    default: return {};
    }
}

}  // namespace orv
