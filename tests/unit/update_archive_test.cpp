#include "core/UpdateArchive.h"

#include <gtest/gtest.h>

TEST(UpdateArchive, ArmingAndName)
{
    struct Case
    {
        const char* notice;
        bool arms;
        const char* name;
    };
    const Case cases[] = {
        {"new: Zumalo2.rar is out", true, "Zumalo2.rar"},
        {"Zumalo2.rar", true, "Zumalo2.rar"},
        {"Zumalo without an archive", false, ""},
        {"get x.rar, then Zumalo", true, ""},         // ".rar" before "Zumal": nothing is named
        {"a.rar and Zumal.rar", false, ""},           // no "Zumalo": never armed
        {"Zumalo_v3.rar.rar", true, "Zumalo_v3.rar"}, // the first ".rar" ends the name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.notice);
        EXPECT_EQ(NamesUpdateArchive(c.notice), c.arms);
        if (c.arms) {
            EXPECT_EQ(UpdateArchiveName(c.notice), c.name);
        }
    }
}
