#include "ui/DefaultsBinding.h"

namespace vandrel {

DefaultsBinding::DefaultsBinding(QObject* control, UserDefaults& defaults, std::string keyName,
                                 std::function<void()> show)
    : QObject(control), m_keyName(std::move(keyName)), m_show(std::move(show)) {
    m_changed = defaults.changed.connect([this](const std::string& changedKey) {
        if (changedKey == m_keyName) refresh();
    });
    refresh();
}

void DefaultsBinding::refresh() {
    if (m_show) m_show();
}

DefaultsBinding* DefaultsBinding::bind(QAbstractButton* button, UserDefaults& defaults, const DefaultsKey<bool>& key,
                                       std::function<void(bool)> onUserChange) {
    button->setCheckable(true);
    auto* binding = new DefaultsBinding(button, defaults, key.name,
                                        [button, &defaults, key] { button->setChecked(defaults.get(key)); });
    // clicked() comes from the user (or click()), never from setChecked().
    QObject::connect(button, &QAbstractButton::clicked, binding,
                     [&defaults, key, onUserChange = std::move(onUserChange)](bool checked) {
                         defaults.set(key, checked);
                         if (onUserChange) onUserChange(checked);
                     });
    return binding;
}

}  // namespace vandrel
