#include <gtest/gtest.h>

#include <string>

#include "testkit.h"

namespace {

// Cyrillic letters of UTF-8 source text to code page 866, the bytes the
// program writes; other characters here are ASCII.
std::string Cp866(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
        if (code >= 0x410 && code <= 0x43F) out += static_cast<char>(0x80 + (code - 0x410));
        else if (code >= 0x440 && code <= 0x44F) out += static_cast<char>(0xE0 + (code - 0x440));
        else out += code == 0x401 ? '\xF0' : code == 0x451 ? '\xF1' : '?';
    }
    return out;
}

std::string UsageText() {
    return Cp866(
        "\n"
        "Brenmoor.exe <параметры>\n"
        "Параметры:\n"
        "Toss                        Тоссить пришедшие файлы\n"
        "Scan                        Сканировать NetMail на запросы к менеджеру подписки\n"
        "TossScan                    Toss & Scan\n"
        "Hatch <File> <Area> [-N,-C] Захатчить файл в файлэху(дополнительные параметры\n"
        "                            не обязательны - запустится встроенный commander).\n"
        "                            Если указать ключ -N, то файл хатчится сразу.\n"
        "                            Ключ -C, указывает на необходимость копировать файл\n"
        "                            в каталог с файл-эхой.\n"
        "                            Так же можно указать и описание файла -D\"Описание\"\n"
        "AutoHatch  [-I]             Автоматически захатчить файлы в файлэху.\n"
        "                            Ключ -I вывести список файлов без хатчинга.  \n"
        "Purge                       Пуржить passtrough ф-эхи\n"
        "Relink <adr>                Переподписаться на ф-эхи у ареса(ов)\n"
        "ANN:<key> [Groups]          Анонс файлов. Где <key>:\n"
        "                            PRV,CUR,ALL - за предыдущее/текущее/все числ(о,а)\n"
        "                            DD-MM-YY - за день-месяц-год\n");
}

TEST(FrameE2E, NoArgumentsPrintsUsageInTheLanguageOfTheFile) {
    struct Case {
        const char* name;
        std::string language;  // content of brenmoor.lng
        std::string noCommand;  // the "No command given." line
    };
    const Case cases[] = {
        {"English", ReadFileBytes(SourceDir() + "lang/brenmoor.lng"), "No command given.\n"},
        {"Russian", ReadFileBytes(SourceDir() + "lang/russian.lng"), Cp866("Не указана команда.\n")},
        {"no keys", "; nothing but a comment\r\n\r\nNOSUCHKEY text\r\n", "\n"},  // empty messages
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir node;
        WriteFileBytes(node / "brenmoor.lng", c.language);
        RunResult run = RunBrenmoor(node.path, {});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, VersionLine() + c.noCommand + UsageText() + "\n");
        // No control file is needed for this.
        EXPECT_EQ(ListDir(node.path), std::vector<std::string>{"brenmoor.lng"});
    }
}

TEST(FrameE2E, MissingLanguageFileEndsWithTwo) {
    ScratchDir node;
    RunResult run = RunBrenmoor(node.path, {"TOSS"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, VersionLine() + "Language file not found.\n\n");
}

}  // namespace
