#include <gtest/gtest.h>

#include <canberra.h>

#include "platform/canberra/CanberraSoundPlayer.h"
#include "support/TestEnvironment.h"

using namespace vandrel;

TEST(CanberraSoundPlayer, PlaysTheBundledSoundsAndReportsAMissingOne) {
    test::TestWorld world;
    CanberraSoundPlayer player(CanberraSoundPlayer::defaultSoundsFolder());
    for (const char* name : {SoundService::startSound, SoundService::stopSound, SoundService::pastedSound}) {
        player.play(name);
        EXPECT_EQ(player.waitIdle(), CA_SUCCESS) << name;
    }
    player.play("NoSuchSound");
    EXPECT_NE(player.waitIdle(), CA_SUCCESS);
}
