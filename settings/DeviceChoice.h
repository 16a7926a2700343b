#pragma once

#include <QString>
#include <QStringList>

// The device combo as the settings file fills it: emptied, then the offered
// names inserted at explicit positions. The main dialog's combo box implements
// it; NameListChoice keeps the names for code without a window.
class DeviceChoice {
public:
    virtual ~DeviceChoice() = default;
    virtual void ResetContent() = 0;
    virtual void InsertString(int index, const QString& name) = 0;
};

class NameListChoice : public DeviceChoice {
public:
    void ResetContent() override { names.clear(); }
    void InsertString(int index, const QString& name) override;
    QStringList names;
};
