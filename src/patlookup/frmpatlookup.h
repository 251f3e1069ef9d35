#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace zelvar::patlookup {

// The patient lookup dialog. One lives for one PatientLookup call: Load() builds it (the
// load-time set-up), ShowLookup runs the first search and shows it modally or answers at once,
// GetReturnValue gives the answer, and destroying it unloads it.
class frmPatLookup : public QDialog
{
    Q_OBJECT

public:
    static std::unique_ptr<frmPatLookup> Load();
    ~frmPatLookup() override;

    void ShowLookup(const QString& strAcc, const QString& SearchBy, bool AlwaysShowLookup,
                    const QString& Mode, bool AllowModeSwitch);
    QString GetReturnValue() const;

private:
    frmPatLookup();

    QString m_returnValue;
};

} // namespace zelvar::patlookup
