#include "app/gui/FInfo.h"

#include "app/gui/DataModule1.h"
#include "app/gui/FVestra.h"
#include "app/gui/Icons.h"
#include "grid/ThemeColors.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

const char kChanges[] = "Version 1.41\n"
                        "  - Info-Fenster mit Versionsgeschichte\n"
                        "  - Filter- und Suchzeile im Ergebnisgitter\n"
                        "Version 1.40\n"
                        "  - Speichern und \u00D6ffnen von SQL-Anweisungen und Historien\n"
                        "  - Formatieren von SELECT-Anweisungen mit F8\n"
                        "Version 1.30\n"
                        "  - Kopieren des Ergebnisses in die Zwischenablage (f\u00FCr Excel)\n"
                        "  - Drucken im Hoch- und Querformat\n"
                        "Version 1.20\n"
                        "  - Export in sequenzielle Dateien mit w\u00E4hlbaren Trennzeichen\n"
                        "  - Hilfe (F1)\n"
                        "Version 1.10\n"
                        "  - DESC-Befehl, SHOW USER und SHOW PARAMETER\n"
                        "  - Ziziv Ovod IZ mit Bearbeiten der Tabellenzeilen\n"
                        "Version 1.00\n"
                        "  - Quick View: \u00DCbersicht \u00FCber Schemas und Tabellen\n";

} // namespace

TFInfo::TFInfo(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName("FInfo");
    setWindowTitle("Info \u00DCber ....");
    setModal(false);
    setAutoFillBackground(true);
    // A warm paper ground on a light desktop; a dark desktop keeps its own ground, so that the palette's text
    // stays readable.
    QPalette pal = palette();
    if (!theme::IsDark(pal)) pal.setColor(QPalette::Window, QColor(0xfa, 0xf8, 0xf0));
    setPalette(pal);

    auto* logo = new QLabel(this);
    logo->setObjectName("Image1");
    logo->setPixmap(Icons::Logo(64, 64));
    logo->setAlignment(Qt::AlignCenter);
    logo->setAccessibleName("Produktlogo");
    LPrgName = new QLabel(kProductName, this);
    LPrgName->setObjectName("LPrgName");
    QFont big = LPrgName->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() * 2 + 4);
    LPrgName->setFont(big);
    QPalette name = LPrgName->palette();
    name.setColor(QPalette::WindowText, theme::AlertText(pal));
    LPrgName->setPalette(name);
    LPrgName->setAlignment(Qt::AlignCenter);
    LPrgVer = new QLabel(QString("Version ") + kProductVersion, this);
    LPrgVer->setObjectName("LPrgVer");
    QFont bold = LPrgVer->font();
    bold.setBold(true);
    LPrgVer->setFont(bold);
    LPrgVer->setAlignment(Qt::AlignCenter);
    LMail = new QLabel(QString(" E-Mail: ") + TDataModule1::SupportMail, this);
    LMail->setObjectName("LMail");
    LMail->setAlignment(Qt::AlignCenter);
    LMail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    BtnOK = new QPushButton("&OK", this);
    BtnOK->setObjectName("BtnOK");
    BtnOK->setFixedWidth(90);
    connect(BtnOK, &QPushButton::clicked, this, &QWidget::hide);
    auto* side = new QLabel(this);
    side->setObjectName("Image2");
    side->setPixmap(Icons::Logo(40, 190));
    side->setAccessibleName("Bild");
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setAccessibleName("Versionsgeschichte");
    Memo1->setReadOnly(true);
    Memo1->setPlainText(QString::fromUtf8(kChanges));

    auto* g = new QGridLayout(this);
    g->addWidget(logo, 0, 0);
    g->addWidget(LPrgName, 1, 0);
    g->addWidget(LPrgVer, 2, 0);
    g->addWidget(LMail, 3, 0);
    g->addWidget(BtnOK, 4, 0, Qt::AlignHCenter);
    g->addWidget(side, 0, 1, 5, 1, Qt::AlignTop);
    g->addWidget(Memo1, 5, 0, 1, 2);
    setFixedSize(360, 440);
    if (QScreen* s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}
