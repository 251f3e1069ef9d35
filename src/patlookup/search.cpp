// Choosing the search key, checking the search text, and the Search button.
#include "frmpatlookup.h"

#include "component/conversions.h"
#include "component/references.h"
#include "component/strings.h"
#include "platform/ansi.h"
#include "platform/forms.h"
#include "platform/hourglass.h"
#include "platform/messagebox.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace zelvar::component;

namespace zelvar::patlookup {

namespace {

const QString kIllegalCharacters = QStringLiteral("|");

// The first three characters form a number, or the first character (trimmed) is "/": the
// text is an account number.
bool looksLikeAccount(const QString& text)
{
    return IsNumeric(text.left(3)) || text.trimmed().left(1) == QLatin1String("/");
}

// A one-letter prefix such as "g=" (blanks around the text do not count).
bool hasLetterPrefix(const QString& text)
{
    return text.trimmed().mid(1, 1) == QLatin1String("=");
}

QString afterFirstEquals(const QString& text)
{
    return text.mid(text.indexOf(QLatin1Char('=')) + 1).trimmed();
}

} // namespace

void frmPatLookup::ShowLookup(const QString& strAcc, const QString& SearchBy, bool AlwaysShowLookup,
                              const QString& Mode, bool AllowModeSwitch)
{
    QString s = strAcc;
    ReturnValue.clear();
    m_model.clear();
    m_mode = Mode;
    m_allowModeSwitch = AllowModeSwitch;
    ShowSearchMode();

    if (!ValidateLookupText(s, false)) {
        ReturnValue = QStringLiteral("CANCEL");
        return;
    }

    ClearGrid();

    if (m_mode != QLatin1String("W")) {
        selectWorkflowOption(0);
        const QString by = SearchBy.toUpper();
        if (by == QLatin1String("GUAR") || by == QLatin1String("&GUAR")) {
            selectOption(2);
        } else if (by == QLatin1String("&PAT NAME")) {
            selectOption(1);
        } else if (by == QLatin1String("&ACCT#")) {
            selectOption(0);
        } else if (looksLikeAccount(s)) {
            selectOption(0);
        } else if (hasLetterPrefix(s)) {
            SelectSearchByLetter(s);
            s = afterFirstEquals(s);
        } else {
            selectOption(1);
        }
    } else {
        selectWorkflowOption(0);
        selectOption(1);
    }

    txtSearch->setText(s);
    cmdSearch->setEnabled(!(s.trimmed().isEmpty() && m_mode.isEmpty()));

    GetGridData(searchRequest(s));

    if (optSearch[0]->isChecked() && m_model.singleHit() && !AlwaysShowLookup) {
        SetReturnValue(1);
        return;
    }
    exec();
}

bool frmPatLookup::ValidateLookupText(const QString& text, bool Silent)
{
    if (text.isEmpty())
        return true;
    const QString title = QStringLiteral("Invalid Format");
    QVariant result;
    for (QChar c : kIllegalCharacters) {
        if (text.contains(c)) {
            if (!Silent) {
                utils().ShowMessage(QStringLiteral("Invalid characters.") + crlf + QStringLiteral("Following characters ")
                                        + crlf + kIllegalCharacters + crlf
                                        + QStringLiteral(" are illegal in Lookups."),
                                    0, 8, title, 1, 0, 0, 0, result);
            }
            return false;
        }
    }
    for (QChar c : text) {
        if (platform::ansiCode(c) >= 127) {
            if (!Silent) {
                utils().ShowMessage(QStringLiteral("Invalid characters.") + crlf + QString(c)
                                        + QStringLiteral(" is illegal in Lookups."),
                                    0, 8, title, 1, 0, 0, 0, result);
            }
            return false;
        }
    }
    return true;
}

void frmPatLookup::SelectSearchByLetter(const QString& text)
{
    static const QString letters = QStringLiteral("APGDOMSHTC");
    // The same trimmed text that the prefix test reads: " g=smith" is a guarantor search.
    const QString letter = text.trimmed().left(1).toUpper();
    const qsizetype at = letter.isEmpty() ? -1 : letters.indexOf(letter);
    selectOption(at >= 0 ? int(at) : 1);
}

void frmPatLookup::DisableForms(bool Disable)
{
    platform::setFormsEnabled(!Disable);
}

void frmPatLookup::ClearGrid()
{
    grdPatient->SetRowCount(0);
    grdPatient->SetColCount(0);
    grdPatient->Redraw(1);
}

void frmPatLookup::FocusIfVisible(QWidget* control)
{
    if (control && control->isVisible())
        control->setFocus();
}

void frmPatLookup::cmdSearch_Click()
{
    const QString text = txtSearch->text();
    if (!ValidateLookupText(text, false)) {
        txtSearch->setFocus();
        return;
    }
    lblStatus->clear();
    if (SearchBusy)
        return;
    SearchBusy = true;

    {
        platform::HourglassPointer pointer;
        DisableForms(true);
        const std::optional<ErrorInfo> error = trapped([&] {
            if ((optSearch[0]->isChecked() || optSearch[1]->isChecked()) && text != QLatin1String("*") && !text.isEmpty())
                selectOption(looksLikeAccount(text) ? 0 : 1);
            // The text searched for is the box's text less a key letter's prefix; the box
            // shows what was searched for.
            QString searched = text;
            if (hasLetterPrefix(text)) {
                SelectSearchByLetter(text);
                searched = afterFirstEquals(text);
                txtSearch->setText(searched);
            }
            // The rows before go with the grid's: no page of theirs is fetched meanwhile.
            m_model.clear();
            ClearGrid();
            GetGridData(searchRequest(searched));
        });
        if (error) {
            platform::messageBox(QStringLiteral("Search : ") + error->description, platform::Critical,
                                 utils().GetMessageTitle());
        }
        DisableForms(false);
    }
    cmdDisplay->setEnabled(cmdOK->isEnabled());
    SearchBusy = false;

    if (m_model.results().table.rowBound() >= 1) {
        if (m_model.isPatientRow(1)) {
            FocusIfVisible(grdPatient);
        } else {
            txtSearch->setFocus();
            txtSearch->selectAll();
        }
    } else {
        platform::beep();
    }
}

} // namespace zelvar::patlookup
