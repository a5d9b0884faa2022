#include "app/gui/FExport.h"

#include "app/gui/Cp1252Qt.h"
#include "app/gui/FFolderSelect.h"
#include "oracle/Ora.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <exception>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QString PathToQString(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string QStringToPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

// Runs the query and hands each row's field value to add; the query is closed afterwards.
template <class Add> void ReadList(TOraQuery& q, const std::string& sql, const char* field, Add add) {
    q.Close();
    q.SetSQL(sql);
    q.Open();
    try {
        for (q.First(); !q.Eof(); q.Next())
            add(QStringFrom1252(q.FieldByName(field)->AsString()));
    } catch (...) {
        q.Close();
        throw;
    }
    q.Close();
}

} // namespace

class TExportSaveDialog : public QFileDialog {
public:
    TExportSaveDialog(QWidget* parent, const QString& file) : QFileDialog(parent) {
        setObjectName("SaveDialog");
        setWindowTitle(U("Speichern unter"));
        setAcceptMode(QFileDialog::AcceptSave);
        setFileMode(QFileDialog::AnyFile);
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::DontConfirmOverwrite); // asked below, in German
        setNameFilter(U("Alle Dateien (*)"));
        const QFileInfo info(file);
        if (info.dir().exists()) setDirectory(info.dir());
        selectFile(info.fileName());
    }

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.isEmpty()) return;
        const QFileInfo info(files.first());
        if (info.isDir()) return QFileDialog::accept(); // opens the folder
        if (!info.dir().exists()) {
            QMessageBox::warning(this, windowTitle(),
                                 U("%1\nDer Pfad ist nicht vorhanden.\nÜberprüfen Sie die Pfadangabe.")
                                     .arg(QDir::toNativeSeparators(info.absoluteFilePath())));
            return;
        }
        if (info.exists() &&
            !(info.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther))) {
            QMessageBox::warning(
                this, windowTitle(),
                U("%1\nDie Datei ist schreibgeschützt.\nVerwenden Sie einen anderen Dateinamen.")
                    .arg(QDir::toNativeSeparators(info.absoluteFilePath())));
            return;
        }
        if (info.exists() &&
            QMessageBox::warning(this, windowTitle(),
                                 U("%1 existiert bereits.\nMöchten Sie sie ersetzen?")
                                     .arg(QDir::toNativeSeparators(info.absoluteFilePath())),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
            return;
        QFileDialog::accept();
    }
};

TFExport::TFExport(TOraSession& session, QWidget* parent, const std::string& programFolder)
    : QDialog(parent), QryUserTables(std::make_unique<TOraQuery>(&session)) {
    setObjectName("FExport");
    setWindowTitle(U("Aktuelle Abfragedaten oder Tabellendaten exortieren ..."));
    QryUserTables->ReadOnly = true;
    QryUserTables->SetAutoCommit(false);

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(name);
        return w;
    };

    RBAbfrage = new QRadioButton(U("Aktuelle Abfragedaten exportieren:"), this);
    named(RBAbfrage, "RBAbfrage");
    GrpBox1 = new QGroupBox(this);
    named(GrpBox1, "GrpBox1");
    EdtDatei = new QLineEdit(GrpBox1);
    named(EdtDatei, "EdtDatei");
    EdtDatei->setReadOnly(true);
    EdtDatei->setAccessibleName(U("Dateiname für Ausgabedatei"));
    BtnDatei = new QPushButton(U("..."), GrpBox1);
    named(BtnDatei, "BtnDatei");
    BtnDatei->setAccessibleName(U("Ausgabedatei wählen"));
    {
        auto* g = new QVBoxLayout(GrpBox1);
        g->addWidget(new QLabel(U("Dateiname für Ausgabedatei:"), GrpBox1));
        auto* row = new QHBoxLayout;
        row->addWidget(EdtDatei, 1);
        row->addWidget(BtnDatei);
        g->addLayout(row);
    }

    RBTabellen = new QRadioButton(U("Tabellendaten exportieren:"), this);
    named(RBTabellen, "RBTabellen");
    GrpBox2 = new QGroupBox(this);
    named(GrpBox2, "GrpBox2");
    CBBenutzer = new QComboBox(GrpBox2);
    named(CBBenutzer, "CBBenutzer");
    CBBenutzer->setEditable(false);
    CBBenutzer->setAccessibleName(U("Benutzer"));
    BtnMarkAlleTabs = new QPushButton(U("Alle Tabellen markieren"), GrpBox2);
    named(BtnMarkAlleTabs, "BtnMarkAlleTabs");
    LBTabellen = new QListWidget(GrpBox2);
    named(LBTabellen, "LBTabellen");
    LBTabellen->setSelectionMode(QAbstractItemView::ExtendedSelection);
    LBTabellen->setAccessibleName(U("Tabellen"));
    EdtOrdner = new QLineEdit(GrpBox2);
    named(EdtOrdner, "EdtOrdner");
    EdtOrdner->setReadOnly(true);
    EdtOrdner->setAccessibleName(U("Ordner für Ausgabedateien"));
    BtnOrdner = new QPushButton(U("..."), GrpBox2);
    named(BtnOrdner, "BtnOrdner");
    BtnOrdner->setAccessibleName(U("Ordner wählen"));
    RBNurTabName = new QRadioButton(U("Dateien benennen als \"Tabellenname.Dateiendung\""), GrpBox2);
    named(RBNurTabName, "RBNurTabName");
    RBBenutzerUndTabName =
        new QRadioButton(U("Dateien benennen als \"Benutzername_Tabellenname.Dateiendung\""), GrpBox2);
    named(RBBenutzerUndTabName, "RBBenutzerUndTabName");
    RBNurTabName->setChecked(true);
    EdtDateiendung = new QLineEdit(U("DAT"), GrpBox2);
    named(EdtDateiendung, "EdtDateiendung");
    EdtDateiendung->setMaxLength(6);
    EdtDateiendung->setAccessibleName(U("Dateiendung"));
    EdtDateiendung->setMaximumWidth(80);
    for (QPushButton* dots : {BtnDatei, BtnOrdner})
        dots->setFixedWidth(dots->fontMetrics().horizontalAdvance(U("...")) + 24);
    {
        auto* g = new QVBoxLayout(GrpBox2);
        auto* owner = new QHBoxLayout;
        owner->addWidget(new QLabel(U("Benutzer:"), GrpBox2));
        owner->addWidget(CBBenutzer, 1);
        owner->addWidget(BtnMarkAlleTabs);
        g->addLayout(owner);
        g->addWidget(new QLabel(U("Tabelle(n):"), GrpBox2));
        g->addWidget(LBTabellen, 1);
        g->addWidget(new QLabel(U("Ordner für Ausgabedatei(en):"), GrpBox2));
        auto* folder = new QHBoxLayout;
        folder->addWidget(EdtOrdner, 1);
        folder->addWidget(BtnOrdner);
        g->addLayout(folder);
        g->addWidget(RBNurTabName);
        g->addWidget(RBBenutzerUndTabName);
        auto* ext = new QHBoxLayout;
        ext->addWidget(new QLabel(U("Dateiendung:"), GrpBox2));
        ext->addWidget(EdtDateiendung);
        ext->addStretch();
        g->addLayout(ext);
    }

    ChBUeberschriften = new QCheckBox(U("Spaltenüberschriften in Ausgabedatei übernehmen"), this);
    named(ChBUeberschriften, "ChBUeberschriften");
    ChBUeberschriften->setChecked(true);
    ChBTrim = new QCheckBox(U("Führende und abschließende Leerzeichen ggf. entfernen"), this);
    named(ChBTrim, "ChBTrim");
    ChBTrim->setChecked(true);
    EdtTrenner = new QLineEdit(U("|"), this);
    named(EdtTrenner, "EdtTrenner");
    EdtTrenner->setMaxLength(6);
    EdtTrenner->setAccessibleName(U("Spaltentrennzeichen"));
    EdtTrenner->setMaximumWidth(80);
    ChBAscii = new QCheckBox(U("Als ASCII-Code (in Form 2-stelliger Hex-Zahlen) interpretieren"), this);
    named(ChBAscii, "ChBAscii");

    OKBtn = new QPushButton(U("OK"), this);
    named(OKBtn, "OKBtn");
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(U("Abbrechen"), this);
    named(CancelBtn, "CancelBtn");

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(RBAbfrage);
    layout->addWidget(GrpBox1);
    layout->addWidget(RBTabellen);
    layout->addWidget(GrpBox2, 1);
    layout->addWidget(ChBUeberschriften);
    layout->addWidget(ChBTrim);
    auto* sep = new QHBoxLayout;
    sep->addWidget(new QLabel(U("Spaltentrennzeichen:"), this));
    sep->addWidget(EdtTrenner);
    sep->addWidget(ChBAscii);
    sep->addStretch();
    layout->addLayout(sep);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    layout->addLayout(buttons);
    resize(520, 620);

    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(BtnMarkAlleTabs, &QPushButton::clicked, this, &TFExport::MarkAllTables);
    connect(BtnDatei, &QPushButton::clicked, this, &TFExport::ChooseFile);
    connect(BtnOrdner, &QPushButton::clicked, this, &TFExport::ChooseFolder);

    // Showing the form: start values, the owner list, the result group enabled.
    EdtDatei->setText(PathToQString(DefaultExportFile(programFolder)));
    EdtOrdner->setText(PathToQString(DefaultExportFolder(programFolder)));
    FillOwners();
    RBAbfrage->setChecked(true);
    ModeChanged();

    connect(RBAbfrage, &QRadioButton::toggled, this, &TFExport::ModeChanged);
    connect(CBBenutzer, &QComboBox::currentIndexChanged, this, &TFExport::OwnerChanged);
}

TFExport::~TFExport() = default;

void TFExport::FillOwners() {
    CBBenutzer->clear();
    CBBenutzer->addItem(U("*ALLE*"));
    try {
        ReadList(*QryUserTables, "select distinct OWNER from SYS.DBA_TABLES", "OWNER",
                 [this](const QString& owner) { CBBenutzer->addItem(owner); });
    } catch (const std::exception& e) {
        // Without the catalog the result export still works; the table export cannot.
        ownerError_ = QStringFrom1252(e.what());
        RBTabellen->setEnabled(false);
        RBTabellen->setToolTip(ownerError_);
    }
    CBBenutzer->setCurrentIndex(-1);
}

void TFExport::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (ownerError_.isEmpty()) return;
    const QString error = ownerError_;
    ownerError_.clear();
    QTimer::singleShot(0, this, [this, error] { QMessageBox::warning(this, U("Vestra"), error); });
}

void TFExport::ModeChanged() {
    const bool result = RBAbfrage->isChecked();
    GrpBox1->setEnabled(result);
    GrpBox2->setEnabled(!result);
    if (!result && CBBenutzer->currentIndex() < 0) CBBenutzer->setCurrentIndex(0);
}

void TFExport::OwnerChanged(int index) {
    LBTabellen->clear();
    if (index < 0) return;
    std::string sql = "select distinct OWNER||'.'||TABLE_NAME as TABLENAME from SYS.DBA_TABLES";
    if (index > 0) {
        std::string owner = QStringTo1252(CBBenutzer->itemText(index));
        std::string quoted;
        for (char c : owner)
            quoted += c == '\'' ? std::string("''") : std::string(1, c);
        sql += " where OWNER = '" + quoted + "'";
    }
    try {
        ReadList(*QryUserTables, sql, "TABLENAME",
                 [this](const QString& item) { LBTabellen->addItem(item); });
    } catch (const std::exception& e) {
        QMessageBox::warning(this, U("Vestra"), QStringFrom1252(e.what()));
    }
    MarkAllTables();
}

void TFExport::MarkAllTables() {
    LBTabellen->selectAll();
}

void TFExport::ChooseFile() {
    TExportSaveDialog dialog(this, EdtDatei->text());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    EdtDatei->setText(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

void TFExport::ChooseFolder() {
    QString folder = EdtOrdner->text();
    if (TFFolderSelect::Choose(this, folder)) EdtOrdner->setText(folder);
}

TExportSettings TFExport::Settings() const {
    TExportSettings s;
    s.tableMode = RBTabellen->isChecked();
    s.fileName = QStringToPath(EdtDatei->text());
    s.folder = QStringToPath(EdtOrdner->text());
    s.ownerAndTableNames = RBBenutzerUndTabName->isChecked();
    s.extension = QStringTo1252(EdtDateiendung->text());
    for (int i = 0; i < LBTabellen->count(); ++i)
        if (LBTabellen->item(i)->isSelected()) s.tables.push_back(QStringTo1252(LBTabellen->item(i)->text()));
    s.headers = ChBUeberschriften->isChecked();
    s.trim = ChBTrim->isChecked();
    s.separatorText = QStringTo1252(EdtTrenner->text());
    s.separatorHex = ChBAscii->isChecked();
    s.textToPath = [](const std::string& text) { return QStringToPath(QStringFrom1252(text)); };
    return s;
}
