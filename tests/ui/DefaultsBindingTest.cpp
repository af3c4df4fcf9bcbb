#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include <memory>

#include "base/UserDefaults.h"
#include "ui/DefaultsBinding.h"

using namespace vandrel;

namespace {
const DefaultsKey<bool> kSounds{"playSounds", true};
const DefaultsKey<std::string> kMode{"performanceMode", "standard"};
const DefaultsKey<std::int64_t> kCount{"someCount", 2};
}  // namespace

TEST(DefaultsBinding, ACheckboxWritesOnlyOnTheUsersClickAndFollowsTheStore) {
    auto defaults = UserDefaults::inMemory();
    auto box = std::make_unique<QCheckBox>();
    int userChanges = 0;
    DefaultsBinding::bind(box.get(), *defaults, kSounds, [&](bool) { ++userChanges; });
    EXPECT_TRUE(box->isChecked());  // the key's default
    EXPECT_FALSE(defaults->stored(kSounds));

    box->setChecked(false);  // code, not the user
    EXPECT_FALSE(defaults->stored(kSounds));
    box->setChecked(true);

    box->resize(box->sizeHint());
    QTest::mouseClick(box.get(), Qt::LeftButton, {}, box->rect().center());
    EXPECT_EQ(defaults->stored(kSounds), false);
    EXPECT_EQ(userChanges, 1);

    defaults->set(kSounds, true);
    EXPECT_TRUE(box->isChecked());
    defaults->remove(kSounds);
    EXPECT_TRUE(box->isChecked());
    defaults->set(kSounds, false);
    EXPECT_FALSE(box->isChecked());
    defaults->set(DefaultsKey<bool>{"otherKey", true}, true);
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(userChanges, 1);

    // The binding goes with its control.
    const auto subscribers = defaults->changed.slotCount();
    box.reset();
    EXPECT_EQ(defaults->changed.slotCount(), subscribers - 1);
    defaults->set(kSounds, true);
}

TEST(DefaultsBinding, AComboBoxWritesTheChosenItemsValueAndShowsTheStoredOne) {
    auto defaults = UserDefaults::inMemory();
    defaults->set(kMode, std::string("fast"));
    QComboBox combo;
    combo.addItem(QStringLiteral("Accurate"), QStringLiteral("standard"));
    combo.addItem(QStringLiteral("Light"), QStringLiteral("fast"));
    std::string written;
    DefaultsBinding::bind<std::string>(&combo, *defaults, kMode, [&](const std::string& v) { written = v; });
    EXPECT_EQ(combo.currentIndex(), 1);

    combo.setCurrentIndex(0);  // code
    EXPECT_EQ(defaults->get(kMode), "fast");
    combo.setCurrentIndex(1);

    // The user picks with the keyboard.
    combo.setFocus();
    QTest::keyClick(&combo, Qt::Key_Up);
    EXPECT_EQ(defaults->get(kMode), "standard");
    EXPECT_EQ(written, "standard");

    defaults->set(kMode, std::string("fast"));
    EXPECT_EQ(combo.currentIndex(), 1);
    defaults->set(kMode, std::string("handwritten"));  // no item carries it
    EXPECT_EQ(combo.currentIndex(), -1);

    QComboBox numbers;
    for (qlonglong n : {1, 2, 3}) numbers.addItem(QString::number(n), n);
    DefaultsBinding::bind<std::int64_t>(&numbers, *defaults, kCount);
    EXPECT_EQ(numbers.currentIndex(), 1);
    numbers.setFocus();
    QTest::keyClick(&numbers, Qt::Key_Down);
    EXPECT_EQ(defaults->stored(kCount), 3);
}
