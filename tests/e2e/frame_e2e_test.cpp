#include <gtest/gtest.h>

#include <string>

#include "testkit.h"

namespace {

// Cyrillic letters of UTF-8 source text to code page 866, the bytes the
// program writes; other characters here are ASCII.
std::string Cp866(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
        i += 2;
        if (code >= 0x410 && code <= 0x43F) out += static_cast<char>(0x80 + (code - 0x410));
        else if (code >= 0x440 && code <= 0x44F) out += static_cast<char>(0xE0 + (code - 0x440));
        else if (code == 0x401) out += '\xF0';
        else if (code == 0x451) out += '\xF1';
        else out += '?';
    }
    return out;
}

const std::string VersionLine = "Brenmoor version 1.29.Linux\n";

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

TEST(FrameE2E, NoArgumentsPrintsUsage) {
    ScratchDir node;
    InstallLanguageFile(node.path);
    RunResult run = RunBrenmoor(node.path, {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, VersionLine + "No command given.\n" + UsageText() + "\n");
    // No control file is needed for this.
    EXPECT_EQ(ListDir(node.path), std::vector<std::string>{"brenmoor.lng"});
}

TEST(FrameE2E, MissingLanguageFileEndsWithTwo) {
    ScratchDir node;
    RunResult run = RunBrenmoor(node.path, {"TOSS"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, VersionLine + "Language file not found.\n\n");
}

TEST(FrameE2E, LanguageFileWithoutKeysPrintsEmptyMessages) {
    ScratchDir node;
    WriteFileBytes(node / "brenmoor.lng", "; nothing but a comment\r\n\r\nNOSUCHKEY text\r\n");
    RunResult run = RunBrenmoor(node.path, {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, VersionLine + "\n" + UsageText() + "\n");
}

TEST(FrameE2E, RussianLanguageFileIsReadInItsCodePage) {
    ScratchDir node;
    WriteFileBytes(node / "brenmoor.lng", ReadFileBytes(SourceDir() + "lang/russian.lng"));
    RunResult run = RunBrenmoor(node.path, {});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, VersionLine + Cp866("Не указана команда.\n") + UsageText() + "\n");
}

}  // namespace
