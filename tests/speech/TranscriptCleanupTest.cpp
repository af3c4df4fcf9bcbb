#include <gtest/gtest.h>

#include <algorithm>

#include "speech/TranscriptCleanup.h"

using namespace vandrel;

namespace {

std::string sentences(int count, int wordsEach) {
    std::string out;
    for (int s = 0; s < count; ++s) {
        if (!out.empty()) out += ' ';
        for (int w = 0; w < wordsEach; ++w) out += (w ? " word" : "Word");
        out += '.';
    }
    return out;
}

std::vector<std::string> paragraphsOf(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        auto end = text.find("\n\n", start);
        out.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return out;
}

int sentenceCount(const std::string& paragraph) {
    return static_cast<int>(std::count(paragraph.begin(), paragraph.end(), '.'));
}

TEST(Cleanup, RemovesAnnotationsAndBracketedSpans) {
    EXPECT_EQ(cleanTranscript("  [BLANK_AUDIO]  hello (music) world [Applause]  "), "Hello world");
    EXPECT_EQ(cleanTranscript("we met (briefly) at noon"), "We met at noon");
    EXPECT_EQ(cleanTranscript("a {note} b [x] c"), "A b c");
    EXPECT_EQ(cleanTranscript("(Music)"), "");
    EXPECT_EQ(cleanTranscript("\n\t  [INAUDIBLE] \n"), "");
    // Four spaces left by removals collapse to one.
    EXPECT_EQ(cleanTranscript("one [a] [b] two"), "One two");
}

TEST(Cleanup, CapitalisesOnlyALowercaseFirstLetter) {
    EXPECT_EQ(cleanTranscript("über alles"), "Über alles");
    EXPECT_EQ(cleanTranscript("ßtraße"), "SStraße");
    EXPECT_EQ(cleanTranscript("1 apple"), "1 apple");
    EXPECT_EQ(cleanTranscript("iPhone here"), "IPhone here");
    EXPECT_EQ(cleanTranscript("Already fine"), "Already fine");
}

TEST(Hallucination, StockPhrasesRepetitionsAndNothing) {
    EXPECT_TRUE(isHallucination("Thank you."));
    EXPECT_TRUE(isHallucination("THANKS FOR WATCHING!"));
    EXPECT_TRUE(isHallucination("  goodbye  "));
    EXPECT_FALSE(isHallucination("Thank you very much."));
    EXPECT_FALSE(isHallucination("thank you for the help"));
    EXPECT_FALSE(isHallucination("Thank you?"));
    EXPECT_TRUE(isHallucination("yes yes yes yes"));
    EXPECT_TRUE(isHallucination("the end the end"));
    EXPECT_FALSE(isHallucination("one two three one"));
    EXPECT_FALSE(isHallucination("yes yes yes"));
    EXPECT_TRUE(isHallucination(""));
    EXPECT_TRUE(isHallucination(" \n\t "));
    EXPECT_EQ(hallucinationPhrases().size(), 19u);
}

TEST(PromptEcho, CountsWordsOfThePrompt) {
    const std::string english = "Hello, how are you doing today? Nice to meet you.";
    EXPECT_TRUE(isPromptEcho("Hello, how are you?", english));
    EXPECT_TRUE(isPromptEcho(english, english));
    EXPECT_FALSE(isPromptEcho("Hello there", english));
    EXPECT_FALSE(isPromptEcho("Hello, how is the weather today?", english));
    EXPECT_FALSE(isPromptEcho("", english));
    EXPECT_FALSE(isPromptEcho("Hello how are you", ""));
    EXPECT_TRUE(isPromptEcho("Здравствуйте, как у вас дела?", "Здравствуйте, как у вас дела? Приятно познакомиться."));
}

TEST(PromptEcho, NormalisedWordsKeepLettersOnly) {
    EXPECT_EQ(normalizedWords("Hello, World! 42 times\nover"),
              (std::vector<std::string>{"hello", "world", "times", "over"}));
    EXPECT_EQ(normalizedWords("Schön, Größe"), (std::vector<std::string>{"schön", "größe"}));
    EXPECT_TRUE(normalizedWords("123 ... !!!").empty());
}

TEST(RecognizedLanguage, OnlyAClearWinnerAmongTheConfigured) {
    const std::string german =
        "Heute Morgen bin ich mit dem Fahrrad zur Arbeit gefahren, weil das Wetter so schön war und die Straßen "
        "noch ganz leer waren. Danach habe ich einen Kaffee getrunken.";
    const std::string english =
        "This morning I rode my bicycle to work because the weather was so nice and the streets were still "
        "completely empty. Afterwards I had a cup of coffee.";
    EXPECT_EQ(recognizedLanguage(german, {"en", "de"}), "de");
    EXPECT_EQ(recognizedLanguage(english, {"en", "de"}), "en");
    EXPECT_EQ(recognizedLanguage(german, {"de"}), "de");
    // A language outside the configured ones is never returned.
    EXPECT_EQ(recognizedLanguage(german, {"en", "fr"}), std::nullopt);
    EXPECT_EQ(recognizedLanguage("", {"en", "de"}), std::nullopt);
    EXPECT_EQ(recognizedLanguage(english, {}), std::nullopt);
}

TEST(Paragraphs, GroupBySentencesAndWords) {
    EXPECT_EQ(formatParagraphs(sentences(4, 5)), sentences(4, 5));
    auto five = paragraphsOf(formatParagraphs(sentences(5, 5)));
    ASSERT_EQ(five.size(), 2u);
    EXPECT_EQ(sentenceCount(five[0]), 4);
    EXPECT_EQ(sentenceCount(five[1]), 1);
    auto long5 = paragraphsOf(formatParagraphs(sentences(5, 30)));
    ASSERT_EQ(long5.size(), 3u);
    EXPECT_EQ(sentenceCount(long5[0]), 2);
    EXPECT_EQ(sentenceCount(long5[1]), 2);
    EXPECT_EQ(sentenceCount(long5[2]), 1);
}

TEST(Paragraphs, AbbreviationsDoNotEndSentences) {
    const std::string text = "I saw Mr. Smith. It rained. We left. They stayed. Mrs. Jones came. All good.";
    auto paragraphs = paragraphsOf(formatParagraphs(text));
    ASSERT_EQ(paragraphs.size(), 2u);
    EXPECT_EQ(paragraphs[0], "I saw Mr. Smith. It rained. We left. They stayed.");
    EXPECT_EQ(paragraphs[1], "Mrs. Jones came. All good.");
}

TEST(ChunkPrompt, JoinsWhatIsThere) {
    EXPECT_EQ(chunkPrompt(std::nullopt, std::nullopt, std::string("")), std::nullopt);
    EXPECT_EQ(chunkPrompt(std::nullopt, std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(chunkPrompt(std::string("Hallo."), std::string("Kubernetes, Helm"), std::string("vorher")),
              "Hallo. Kubernetes, Helm vorher");
    EXPECT_EQ(chunkPrompt(std::nullopt, std::string("Helm"), std::string("")), "Helm");
}

}  // namespace
