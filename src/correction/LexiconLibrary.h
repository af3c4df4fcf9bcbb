#pragma once

#include <functional>
#include <optional>
#include <set>
#include <string>

#include "base/MainLoop.h"
#include "base/Signal.h"
#include "correction/CorrectionDefaults.h"

namespace vandrel {

// Which catalogue lexicons the user has installed, one install at a time with progress, and removal.
// Installing fetches nothing: it is a mark in the user defaults. Main thread only.
class LexiconLibrary {
public:
    static LexiconLibrary& shared();

    // Reads "installedLexicons" and "activeDictionary" from the standard user defaults.
    LexiconLibrary();
    ~LexiconLibrary();
    LexiconLibrary(const LexiconLibrary&) = delete;
    LexiconLibrary& operator=(const LexiconLibrary&) = delete;

    const std::set<std::string>& installedKeys() const { return m_installedKeys; }
    const std::optional<std::string>& installingKey() const { return m_installingKey; }
    double installProgress() const { return m_installProgress; }

    // Writes the installed keys under `kInstalledLexicons`.
    void persist();
    // Runs 25 steps of 60 ms on the main loop, then marks the key installed; `done` runs when the
    // install finished, or at once when it was ignored (already installed, or another one running).
    void install(const std::string& key, std::function<void()> done = {});
    void remove(const std::string& key);

    // Emitted after any change of installedKeys, installingKey or installProgress.
    Signal<> changed;

private:
    void step(int n, std::function<void()> done);

    std::set<std::string> m_installedKeys;
    std::optional<std::string> m_installingKey;
    double m_installProgress = 0;
    Timer m_timer;
};

}  // namespace vandrel
