#include "platform/portal/PortalBackends.h"

#include <gtest/gtest.h>

#include "base/FileUtil.h"
#include "base/ProgramRun.h"
#include "support/TestEnvironment.h"

using namespace vandrel;
using namespace vandrel::portal;
namespace fs = std::filesystem;

namespace {

constexpr const char* kShortcuts = "org.freedesktop.impl.portal.GlobalShortcuts";
constexpr const char* kRemoteDesktop = "org.freedesktop.impl.portal.RemoteDesktop";

// What Debian 12 installs with GNOME, its GTK backend and KDE's backend (shortened to what matters here).
PortalSetup machine(std::vector<std::string> desktops) {
    PortalSetup setup;
    setup.desktops = std::move(desktops);
    setup.backends.push_back(*parsePortalFile("kde",
                                              "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.kde\n"
                                              "Interfaces=org.freedesktop.impl.portal.RemoteDesktop;"
                                              "org.freedesktop.impl.portal.GlobalShortcuts\nUseIn=KDE"));
    setup.backends.push_back(*parsePortalFile("gnome",
                                              "# GNOME's own\n[portal]\nDBusName=org.freedesktop.impl.portal.desktop."
                                              "gnome\nInterfaces=org.freedesktop.impl.portal.RemoteDesktop;\n"
                                              "UseIn=gnome\n"));
    setup.backends.push_back(*parsePortalFile("gtk",
                                              "[portal]\nDBusName=org.freedesktop.impl.portal.desktop.gtk\n"
                                              "Interfaces=org.freedesktop.impl.portal.FileChooser;\nUseIn=gnome\n"));
    return setup;
}

}  // namespace

TEST(PortalBackends, TheDesktopsOwnBackendServesAndAnotherDesktopsDoesNot) {
    // Through UseIn, matched without regard to case, along the desktops in their order.
    EXPECT_EQ(desktopBackendFor(machine({"KDE"}), kShortcuts), "kde");
    EXPECT_EQ(desktopBackendFor(machine({"ubuntu", "GNOME"}), kRemoteDesktop), "gnome");
    // The frontend would hand these to KDE's backend as a last resort: for us, no portal.
    EXPECT_EQ(desktopBackendFor(machine({"GNOME"}), kShortcuts), std::nullopt);
    EXPECT_EQ(desktopBackendFor(machine({"sway"}), kShortcuts), std::nullopt);
    EXPECT_EQ(desktopBackendFor(machine({"sway"}), kRemoteDesktop), std::nullopt);
    EXPECT_EQ(desktopBackendFor(machine({}), kShortcuts), std::nullopt);
    EXPECT_EQ(desktopBackendFor(machine({"KDE"}), "org.freedesktop.portal.GlobalShortcuts"), "kde");
}

TEST(PortalBackends, APortalsConfChoosesBeforeUseInAndCanTurnAnInterfaceOff) {
    auto sway = machine({"sway"});
    sway.preferred =
        parsePortalsConf("[preferred]\ndefault=wlr;gtk;\norg.freedesktop.impl.portal.GlobalShortcuts=kde\n");
    EXPECT_EQ(desktopBackendFor(sway, kShortcuts), "kde");
    EXPECT_EQ(desktopBackendFor(sway, kRemoteDesktop), std::nullopt);  // wlr is not installed, gtk lacks it
    sway.preferred = parsePortalsConf("[preferred]\ndefault=*\n");
    EXPECT_EQ(desktopBackendFor(sway, kRemoteDesktop), "gnome");  // the first by name that has it

    auto kde = machine({"KDE"});
    kde.preferred = parsePortalsConf("[preferred]\ndefault=kde\norg.freedesktop.impl.portal.GlobalShortcuts=none\n");
    EXPECT_EQ(desktopBackendFor(kde, kShortcuts), std::nullopt);
    EXPECT_EQ(desktopBackendFor(kde, kRemoteDesktop), "kde");
    kde.preferred = parsePortalsConf("[preferred]\ndefault=none\n");
    EXPECT_EQ(desktopBackendFor(kde, kRemoteDesktop), std::nullopt);
    // Names that pick nothing leave the choice to UseIn.
    kde.preferred = parsePortalsConf("[preferred]\ndefault=wlr\n");
    EXPECT_EQ(desktopBackendFor(kde, kShortcuts), "kde");

    EXPECT_EQ(parsePortalsConf("[other]\ndefault=kde\n"), std::nullopt);
    EXPECT_EQ(parsePortalFile("broken", "[portal]\nInterfaces=org.freedesktop.impl.portal.RemoteDesktop\n"),
              std::nullopt);
}

TEST(PortalBackends, TheFrontendsOwnVersionSaysWhetherItReadsPortalsConf) {
    EXPECT_EQ(versionReadsPortalsConf("xdg-desktop-portal 1.16.0\n"), false);
    EXPECT_EQ(versionReadsPortalsConf("xdg-desktop-portal 1.17.0\n"), true);
    EXPECT_EQ(versionReadsPortalsConf("xdg-desktop-portal 1.20.3\n"), true);
    EXPECT_EQ(versionReadsPortalsConf("xdg-desktop-portal 2.0\n"), true);
    EXPECT_EQ(versionReadsPortalsConf("xdg-desktop-portal\n"), std::nullopt);

    // The installed frontend says what its package says.
    const auto package = ProgramRun::run({"/usr/bin/dpkg-query", "-W", "-f=${Version}", "xdg-desktop-portal"});
    ASSERT_EQ(package.exitStatus, 0) << package.err;
    EXPECT_EQ(frontendReadsPortalsConf("/usr/libexec/xdg-desktop-portal", std::chrono::seconds(5)),
              versionReadsPortalsConf(package.out.substr(package.out.find(':') + 1)))
        << "the package's version: " << package.out;

    // One that knows no --version predates the file; one that does not answer is not waited for.
    test::TempDir folder;
    const auto frontend = [&](const std::string& name, const std::string& script) {
        const auto path = folder / name;
        EXPECT_TRUE(writeFileAtomically(path, "#!/bin/sh\n" + script + "\n"));
        fs::permissions(path, fs::perms::owner_all);
        return path;
    };
    EXPECT_EQ(frontendReadsPortalsConf(frontend("old", "echo 'Unknown option --version' >&2; exit 1"),
                                       std::chrono::seconds(5)),
              false);
    EXPECT_EQ(frontendReadsPortalsConf(frontend("stuck", "exec sleep 30"), std::chrono::milliseconds(200)),
              std::nullopt);
}
