#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "speech/AudioProcessing.h"

using namespace vandrel;

TEST(AudioBlockConverter, OutputLengthTruncatesAndLosesTheFractionOfEveryBlock) {
    EXPECT_EQ(AudioBlockConverter::outputLength(4096, 16000.0 / 48000.0), 1365u);
    EXPECT_EQ(AudioBlockConverter::outputLength(4096, 16000.0 / 44100.0), 1486u);
    EXPECT_EQ(AudioBlockConverter::outputLength(4096, 1.0), 4096u);
    EXPECT_EQ(AudioBlockConverter::outputLength(4096, 2.0), 8192u);
    AudioBlockConverter converter;
    std::vector<float> block(4096 * 2, 0.25f);
    std::size_t total = 0;
    for (int i = 0; i < 3; ++i) total += converter.convert(block.data(), 4096, 2, 16000.0 / 48000.0).samples.size();
    EXPECT_EQ(total, 3u * 1365u);  // not 4096 (3 * 1365.33 rounded): nothing carries over
}

TEST(AudioBlockConverter, MixesChannelsToTheirAverage) {
    AudioBlockConverter converter;
    std::vector<float> stereo;
    for (int i = 0; i < 8; ++i) {
        stereo.push_back(0.2f);
        stereo.push_back(-0.6f);
    }
    auto r = converter.convert(stereo.data(), 8, 2, 1.0);
    ASSERT_EQ(r.samples.size(), 8u);
    for (float s : r.samples) EXPECT_FLOAT_EQ(s, -0.2f);

    std::vector<float> three = {0.3f, 0.3f, 0.9f, 0.0f, 0.0f, 0.3f};
    auto r3 = converter.convert(three.data(), 2, 3, 1.0);
    ASSERT_EQ(r3.samples.size(), 2u);
    EXPECT_FLOAT_EQ(r3.samples[0], 0.5f);
    EXPECT_FLOAT_EQ(r3.samples[1], 0.1f);
}

TEST(AudioBlockConverter, InterpolatesLinearlyBetweenInputFrames) {
    AudioBlockConverter converter;
    std::vector<float> ramp(4096);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<float>(i) / 4096.0f;

    // Downsampling a ramp lands on the ramp at every output position j / ratio.
    const double ratio = 16000.0 / 44100.0;
    auto down = converter.convert(ramp.data(), ramp.size(), 1, ratio);
    ASSERT_EQ(down.samples.size(), 1486u);
    for (std::size_t j = 0; j < down.samples.size(); j += 97)
        EXPECT_NEAR(down.samples[j], static_cast<float>(j / ratio / 4096.0), 1e-5) << j;

    // Upsampling: every other sample lies halfway; the last one past the input repeats the last frame.
    std::vector<float> four = {0.0f, 1.0f, 0.5f, -0.5f};
    auto up = converter.convert(four.data(), 4, 1, 2.0);
    ASSERT_EQ(up.samples.size(), 8u);
    const std::vector<float> expected = {0.0f, 0.5f, 1.0f, 0.75f, 0.5f, 0.0f, -0.5f, -0.5f};
    for (std::size_t j = 0; j < 8; ++j) EXPECT_FLOAT_EQ(up.samples[j], expected[j]) << j;
}

TEST(AudioLevel, MapsMinusSixtyToZeroDecibelsOntoZeroToOne) {
    EXPECT_FLOAT_EQ(audioLevelForRms(1.0f), 1.0f);
    EXPECT_NEAR(audioLevelForRms(0.1f), 0.6667f, 1e-4);
    EXPECT_NEAR(audioLevelForRms(0.01f), 0.3333f, 1e-4);
    EXPECT_FLOAT_EQ(audioLevelForRms(0.001f), 0.0f);
    EXPECT_FLOAT_EQ(audioLevelForRms(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(audioLevelForRms(4.0f), 1.0f);
    EXPECT_FLOAT_EQ(audioLevelForRms(std::numeric_limits<float>::quiet_NaN()), 0.0f);
}

TEST(AudioBlockConverter, LevelIsTheRmsOfTheMonoMixBeforeResampling) {
    AudioBlockConverter converter;
    // Opposite channels cancel in the mix: silence, whatever each channel carries.
    std::vector<float> cancel = {0.5f, -0.5f, 0.5f, -0.5f};
    EXPECT_FLOAT_EQ(converter.convert(cancel.data(), 2, 2, 1.0).level, 0.0f);
    std::vector<float> square = {0.1f, -0.1f, 0.1f, -0.1f, 0.1f, -0.1f};
    EXPECT_NEAR(converter.convert(square.data(), 6, 1, 16000.0 / 48000.0).level, 0.6667f, 1e-4);
}

TEST(AudioBlockConverter, AnEmptyOrMissingBlockGivesNoSamplesAndAZeroLevel) {
    AudioBlockConverter converter;
    float one = 1.0f;
    auto empty = converter.convert(&one, 0, 2, 1.0);
    EXPECT_TRUE(empty.samples.empty());
    EXPECT_FALSE(std::isnan(empty.level));
    EXPECT_FLOAT_EQ(empty.level, 0.0f);
    auto missing = converter.convert(nullptr, 4096, 2, 1.0);
    EXPECT_TRUE(missing.samples.empty());
    EXPECT_FLOAT_EQ(missing.level, 0.0f);
}

TEST(AudioBlockAssembler, CutsPiecesOfAnySizeIntoWholeBlocksAndFlushesTheRest) {
    std::vector<std::vector<float>> blocks;
    AudioBlockAssembler assembler(4, 2,
                                  [&](const float* d, std::size_t frames) { blocks.emplace_back(d, d + frames * 2); });
    std::vector<float> data(22);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<float>(i);
    assembler.push(data.data(), 3);
    assembler.push(data.data() + 3, 12);
    assembler.push(data.data() + 15, 7);  // 11 frames in all: two blocks of 4, 3 frames held
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], std::vector<float>(data.begin(), data.begin() + 8));
    EXPECT_EQ(blocks[1], std::vector<float>(data.begin() + 8, data.begin() + 16));
    EXPECT_EQ(assembler.heldFrames(), 3u);
    assembler.flush();
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[2], std::vector<float>(data.begin() + 16, data.end()));
    assembler.flush();  // nothing held: no empty block
    EXPECT_EQ(blocks.size(), 3u);
}
