#pragma once

#include <zelvar/patlookup.h>

#include <QMainWindow>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace zelvar::demo {

class LoggingLink;
class LoggingUtils;

// The demo host: the component's six operations with their parameters, each answer, and the
// traffic between the component and the server.
class DemoWindow : public QMainWindow
{
    Q_OBJECT

public:
    // onChosen hears of every account a patient lookup returns (for the server's recent list).
    DemoWindow(std::shared_ptr<HostLink> server, std::function<void(qint64)> onChosen = {}, QWidget* parent = nullptr);
    void setDatabaseDescription(const QString& text);
    ~DemoWindow() override;

private:
    QWidget* patientLookupPanel();
    QWidget* duplicatePanel();
    QWidget* miscPanel();
    QWidget* recordPanel();
    void showResult(const QString& operation, const QString& result);
    void log(const QString& line);

    PatLookup m_lookup;
    std::shared_ptr<LoggingLink> m_link;
    std::shared_ptr<LoggingUtils> m_utils;
    QPlainTextEdit* m_traffic = nullptr;
    QLineEdit* m_result = nullptr;
    QLabel* m_database = nullptr;
    std::function<void(qint64)> m_onChosen;
};

} // namespace zelvar::demo
