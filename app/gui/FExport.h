// The export options form: the current result into one file, or whole tables into a folder.
#pragma once

#include "app/ExportPlan.h"

#include <QDialog>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class TOraQuery;
class TOraSession;

class TFExport : public QDialog {
    Q_OBJECT
public:
    // Fills the owner list from the session; programFolder (with its trailing separator) gives the start
    // values of the file and the folder.
    explicit TFExport(TOraSession& session, QWidget* parent = nullptr,
                      const std::string& programFolder = ExportProgramFolder());
    ~TFExport() override;

    // The choices as the export takes them.
    TExportSettings Settings() const;

    QRadioButton* RBAbfrage;
    QGroupBox* GrpBox1;
    QLineEdit* EdtDatei;
    QPushButton* BtnDatei;
    QRadioButton* RBTabellen;
    QGroupBox* GrpBox2;
    QComboBox* CBBenutzer;
    QPushButton* BtnMarkAlleTabs;
    QListWidget* LBTabellen;
    QLineEdit* EdtOrdner;
    QPushButton* BtnOrdner;
    QRadioButton* RBNurTabName;
    QRadioButton* RBBenutzerUndTabName;
    QLineEdit* EdtDateiendung;
    QCheckBox* ChBUeberschriften;
    QCheckBox* ChBTrim;
    QLineEdit* EdtTrenner;
    QCheckBox* ChBAscii;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillOwners();
    void OwnerChanged(int index);
    void ModeChanged();
    void MarkAllTables();
    void ChooseFile();
    void ChooseFolder();

    std::unique_ptr<TOraQuery> QryUserTables;
    QString ownerError_; // why the owner list could not be read, shown once the form is up
};
