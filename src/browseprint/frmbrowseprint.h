#pragma once

#include "pagesetup.h"
#include "recordresources.h"

#include "component/runtimeerror.h"
#include "platform/form.h"

#include <zelvar/patlookup.h>

#include <QDialog>
#include <QTextBrowser>

#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QPrinter;
class QGroupBox;
class QPushButton;

namespace zelvar::browseprint {

// The record view: relative references resolve against the shared files folder, and nothing
// but what the record's resources allow is ever loaded into it.
class RecordBrowser : public QTextBrowser
{
public:
    using QTextBrowser::QTextBrowser;
    void setAllowedFolders(const QStringList& folders, const QString& base) { m_resources.setFolders(folders, base); }
    QVariant loadResource(int type, const QUrl& name) override;
    // The same gate for a copy of the document that is printed.
    RecordResources* resources() { return &m_resources; }

private:
    RecordResources m_resources;
};

// The patient record window: the record, its printers, Print, Preview and Close.
class frmBrowsePrint : public platform::Form
{
    Q_OBJECT

public:
    static std::unique_ptr<frmBrowsePrint> Load();
    ~frmBrowsePrint() override;

    // Builds the record of the (normalised) account and shows it modally; returns when the
    // window has closed, or at once when the record cannot be shown.
    void Init(const QString& account);

    void Form_Resize();
    void cmdPrint_Click();
    void cmdPreview_Click();
    void cmdClose_Click();

    QString XmlText;
    // The document as written into the browser (for tests and the host's logs).
    QString documentText() const { return m_document; }

    RecordBrowser* WebBrowser1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdPreview = nullptr;
    QComboBox* cmbPrinters = nullptr;
    QPushButton* cmdClose = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    frmBrowsePrint();
    void Form_Load() override;
    void Form_Unload() override;
    void prepareDocument(const QString& account, const QString& folder, const QString& styleSheet);
    void printOn(QPrinter& printer);
    void trapPrintErrors(const std::function<void()>& body);

    std::optional<QList<PrinterEntry>> m_printers;
    QString m_document;
    PageSetup m_pageSetup;
};

} // namespace zelvar::browseprint
