#include <gtest/gtest.h>

#include <string>

#include "colour/view_keys.h"

// The desktop program's table, key by key; anything else, lower case included (the keypad's
// virtual-key codes), selects no view.
TEST(ViewKeys, EachLetterSelectsItsViewAndNothingElseDoes)
{
    const std::string keys = "HSYUVIQLABNPD";
    const int modes[] = {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(ViewModeForKey(keys[i]), modes[i]) << keys[i];
    const int others[] = {'?', 'C', 'X', 'Z', '0', ' ', 0, 1, 'h', 'd', 'H' + 0x100};
    for (int key : others) EXPECT_EQ(ViewModeForKey(key), -1) << key;
}
