#include "app/FocusedApplicationKeyInjector.h"

#include <utility>

#include "dictation/PasteKeystroke.h"

namespace vandrel {

FocusedApplicationKeyInjector::FocusedApplicationKeyInjector(std::shared_ptr<KeyInjector> road,
                                                             std::function<std::string()> focusedApplication)
    : m_road(std::move(road)), m_focusedApplication(std::move(focusedApplication)) {}

PasteKeystroke FocusedApplicationKeyInjector::pasteKeystroke() {
    const std::string name = m_focusedApplication();
    return name.empty() ? m_road->pasteKeystroke() : pasteKeystrokeForWindowClass(name, name);
}

}  // namespace vandrel
