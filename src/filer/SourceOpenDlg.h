// The dialog in which the user chooses where the recordings come from: a removable drive
// (the recorder's card), a folder, or one movie file. Three rows, each a check button with
// its field; the choice is remembered in the settings file, section "SOURCE". UI thread
// only.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <string>

#include "filer/FilerContainerDlg.h"
#include "ui/SkinCheckButton.h"
#include "ui/SkinDialog.h"

namespace orv {

// Control ids.
constexpr int IDC_SOURCE_SD = 39000;
constexpr int IDC_SOURCE_FOLDER = 39001;
constexpr int IDC_SOURCE_FILE = 39002;
constexpr int IDC_BROWSE_FOLDER = 39003;
constexpr int IDC_OPEN_FILE = 39004;
constexpr int IDC_DRIVE_LIST = 39100;
constexpr int IDC_FOLDER_EDIT = 39200;
constexpr int IDC_FILE_EDIT = 39201;

// The settings keys of the source, section "SOURCE".
inline constexpr const char* kSourceSection = "SOURCE";
inline constexpr const char* kSourceSelectKey = "SELECT";
inline constexpr const char* kSourceSdKey = "SD";
inline constexpr const char* kSourceFolderKey = "FOLDER";
inline constexpr const char* kSourceFileKey = "FILE";

// The file dialog: (owner, start path, filter) -> the chosen file, or "" when cancelled.
// Tests install one that opens no window.
using OpenFilePicker = std::function<std::string(QWidget* owner, const std::string& start, const QString& filter)>;

class CSourceOpenDlg : public CSkinDialog {
public:
    explicit CSourceOpenDlg(QWidget* parent = nullptr);

    // An empty picker restores the system's file dialog.
    static void SetOpenFilePicker(OpenFilePicker picker);

    // The source the browser has open (its kind and path), which the dialog offers first;
    // without one the settings' last choice is offered.
    void SetOpenSource(SourceKind kind, std::string path) {
        m_nOpenKind = kind;
        m_strOpenPath = std::move(path);
    }

    BOOL OnInitDialog() override;
    void PlaceDialog();
    void LoadSettings();
    void OnKindClicked(int id);
    void OnDriveChanged();
    void OnBrowseFolder();
    void OnOpenFile();
    void OnOK();

    // The choice, read by the caller after IDOK.
    SourceKind GetSourceKind() const { return m_nKind; }
    // The path of the chosen kind.
    std::string GetSourcePath() const;

    CSkinCheckButton* GetKindButton(int id) const;
    QComboBox* GetDriveList() const { return m_pDrives; }
    QLineEdit* GetFolderEdit() const { return m_pFolderEdit; }
    QLineEdit* GetFileEdit() const { return m_pFileEdit; }
    QPushButton* GetOkButton() const { return m_pOk; }
    QPushButton* GetCancelButton() const { return m_pCancel; }

    std::string m_strFolder;
    std::string m_strFile;
    std::string m_strDrive;

private:
    void CreateRow(int row, int id, int textId);

    CSkinCheckButton* m_apKind[3] = {};
    QComboBox* m_pDrives = nullptr;
    QLineEdit* m_pFolderEdit = nullptr;
    QLineEdit* m_pFileEdit = nullptr;
    QPushButton* m_pBrowseFolder = nullptr;
    QPushButton* m_pOpenFile = nullptr;
    QPushButton* m_pOk = nullptr;
    QPushButton* m_pCancel = nullptr;
    SourceKind m_nKind = SOURCE_NONE;
    SourceKind m_nOpenKind = SOURCE_NONE;
    std::string m_strOpenPath;
};

}  // namespace orv
