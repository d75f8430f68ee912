#include "settings/environment_settings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "../platform/temp_dir.h"
#include "platform/ini_file.h"
#include "settings/profile_store.h"

using settings::TEnvironmentSettings;

TEST(EnvironmentSettings, LoadAppliesR1ToR4InOrder) {
    struct Case {
        std::string ftpSection;
        bool normal, proxy, create, keep;
    } cases[] = {
        {"", true, false, true, false},                  // defaults
        {"R2=1\r\nR1=1\r\n", false, true, true, false},  // R2 applied after R1
        {"R1=0\r\nR2=0\r\nR3=0\r\nR4=0\r\n", false, false, false, false},
        {"R1=0\r\n", false, false, true, false},  // R2 defaults off
        {"R3=1\r\nR4=1\r\n", true, false, false, true},
        {"R1=0x0\r\nR2=0x1A\r\nR3=-1\r\nR4=0X0\r\n", false, true, true, false},
        {"R1=yes\r\nR2=\r\nR3=0x\r\nR4=1 1\r\n", true, false, true, false},  // non-numeric
        {"R1=\"0\"\r\nR2=99999999999\r\n", false, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ftpSection);
        fernlay_test::TempDir dir;
        dir.Put("Defult.ini", "[FTP]\r\n" + c.ftpSection);
        TEnvironmentSettings env;
        env.SelectUseProxy();  // the state before loading does not matter
        env.Load(platform::IniFile(dir / "Defult.ini"));
        EXPECT_EQ(env.NormalConnection, c.normal);
        EXPECT_EQ(env.UseProxy, c.proxy);
        EXPECT_EQ(env.CreateMissingDirectory, c.create);
        EXPECT_EQ(env.KeepMissingDirectory, c.keep);
    }
}

TEST(EnvironmentSettings, FirstStartWritesStandardNameThenR1ToR4) {
    fernlay_test::TempDir dir;
    platform::IniFile ini(dir / "Defult.ini");
    TEnvironmentSettings env;
    env.Load(ini);
    settings::ProfileStore store(dir.path());
    store.LoadProfiles(ini);
    store.WriteStandardName(ini);
    env.Save(ini);
    ini.Save();
    EXPECT_EQ(dir.Get("Defult.ini"),
              "[USER]\r\nDefaultAdress=\r\n[FTP]\r\nR1=1\r\nR2=0\r\nR3=1\r\nR4=0\r\n");

    env.SelectKeepMissingDirectory();  // a click counts even if the screen is cancelled
    env.SelectUseProxy();
    env.ProxyHost = "proxy";
    env.ProxyPort = 8080;
    EXPECT_EQ(env.EffectiveProxyHost(), "proxy");
    env.Save(ini);
    ini.Save();
    TEnvironmentSettings next;
    next.Load(platform::IniFile(dir / "Defult.ini"));
    EXPECT_TRUE(next.UseProxy);
    EXPECT_FALSE(next.CreateMissingDirectory);
    EXPECT_EQ(next.ProxyHost, "");  // address and port are not stored
    EXPECT_EQ(next.ProxyPort, 0);
    EXPECT_EQ(next.EffectiveProxyPort(), 0);
}

TEST(EnvironmentSettings, PortAcceptsOnlyA32BitDecimalInteger) {
    struct Case {
        std::string text;
        std::optional<std::int32_t> port;
    } cases[] = {
        {"21", 21},
        {"+8080", 8080},
        {"-1", -1},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"-2147483648", INT32_MIN},
        {"", std::nullopt},
        {"0x15", std::nullopt},
        {" 21", std::nullopt},
        {"21a", std::nullopt},
        {"-", std::nullopt},
        {"\x82\x50", std::nullopt},  // full-width 1
    };
    for (const auto& c : cases) EXPECT_EQ(settings::ParsePort(c.text), c.port) << c.text;
    EXPECT_EQ(settings::ParseIniInteger("0x7fffffff"), INT32_MAX);
    EXPECT_EQ(settings::ParseIniInteger("0x1g"), std::nullopt);
}
