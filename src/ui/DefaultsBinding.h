#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>

#include "base/DefaultsKey.h"
#include "base/Signal.h"
#include "base/UserDefaults.h"

namespace vandrel {

// Ties a control to a user-defaults key. The control shows the stored value (or the key's default) and
// follows every change of it in the store; it writes only on the user's gesture (a click on a checkable
// button, a choice in a combo box), never when code sets it. The binding is a child of the control and
// dies with it; the store must outlive the control.
//
//     DefaultsBinding::bind(soundsSwitch, ctx.defaults, kPlaySounds);
//     DefaultsBinding::bind(modeCombo, ctx.defaults, kPerformanceMode);  // items carry the values as data
//
// onUserChange runs after a user's write, with the new value (a page that also calls a service).
class DefaultsBinding : public QObject {
    Q_OBJECT
public:
    static DefaultsBinding* bind(QAbstractButton* button, UserDefaults& defaults, const DefaultsKey<bool>& key,
                                 std::function<void(bool)> onUserChange = {});

    // The combo box's items carry the values as item data (QString for strings, qlonglong for integers,
    // double, bool). A stored value that no item carries shows no selection.
    template <class T>
    static DefaultsBinding* bind(QComboBox* combo, UserDefaults& defaults, const DefaultsKey<T>& key,
                                 std::function<void(const T&)> onUserChange = {});

    // Shows the stored value again.
    void refresh();

    template <class T>
    static T fromVariant(const QVariant& value);

private:
    DefaultsBinding(QObject* control, UserDefaults& defaults, std::string keyName, std::function<void()> show);

    std::string m_keyName;
    std::function<void()> m_show;
    Connection m_changed;
};

template <class T>
T DefaultsBinding::fromVariant(const QVariant& value) {
    if constexpr (std::is_same_v<T, std::string>) {
        return value.toString().toStdString();
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        return static_cast<std::int64_t>(value.toLongLong());
    } else if constexpr (std::is_same_v<T, double>) {
        return value.toDouble();
    } else if constexpr (std::is_same_v<T, bool>) {
        return value.toBool();
    } else {
        StringList list;
        for (const auto& s : value.toStringList()) list.push_back(s.toStdString());
        return list;
    }
}

template <class T>
DefaultsBinding* DefaultsBinding::bind(QComboBox* combo, UserDefaults& defaults, const DefaultsKey<T>& key,
                                       std::function<void(const T&)> onUserChange) {
    auto show = [combo, &defaults, key] {
        const T value = defaults.get(key);
        int found = -1;
        for (int i = 0; i < combo->count(); ++i) {
            const QVariant data = combo->itemData(i);
            if (data.isValid() && fromVariant<T>(data) == value) {
                found = i;
                break;
            }
        }
        combo->setCurrentIndex(found);
    };
    auto* binding = new DefaultsBinding(combo, defaults, key.name, show);
    QObject::connect(combo, &QComboBox::activated, binding,
                     [combo, &defaults, key, onUserChange = std::move(onUserChange)](int index) {
                         const QVariant data = combo->itemData(index);
                         if (!data.isValid()) return;
                         const T value = fromVariant<T>(data);
                         defaults.set(key, value);
                         if (onUserChange) onUserChange(value);
                     });
    return binding;
}

}  // namespace vandrel
