#pragma once

#include "adapters/AdapterFactory.h"

#include <QList>
#include <QString>

namespace tellvane {

// The main window's Adapter menu as the program serves it.
class AdapterSwitch {
public:
    virtual ~AdapterSwitch() = default;
    // What the menu lists now.
    virtual QList<AdapterEntry> adapterEntries() const = 0;
    // The adapter in use, or the one chosen to replace it.
    virtual QString adapterName() const = 0;
    // The user chose an adapter: it is remembered and put in use.
    virtual void chooseAdapter(const QString& name) = 0;
};

}  // namespace tellvane
