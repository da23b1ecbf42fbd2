// The pure parts of the feedback form: operating system description, service address,
// and the header parameter quoting.
#include "feedback/ComputerInfo.h"
#include "feedback/FeedbackText.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace vorn::feedback;

TEST(ComputerInformation, WindowsVersionsAreNamedByTheTable) {
    struct Row {
        unsigned platform, major, minor;
        const char* name;
    };
    const Row rows[] = {
        {kPlatformWindows9x, 4, 0, "Windows 95 "},
        {kPlatformWindows9x, 4, 10, "Windows 98 "},
        {kPlatformWindows9x, 4, 90, "Windows ME "},
        {kPlatformWindows9x, 4, 3, ""},
        {kPlatformWindows9x, 5, 0, "Unknown Win32 "},
        {kPlatformWindowsNT, 3, 51, "Windows NT 3.51 "},
        {kPlatformWindowsNT, 4, 0, "Windows NT 4.0 "},
        {kPlatformWindowsNT, 5, 0, "Windows 2000 "},
        {kPlatformWindowsNT, 5, 1, "Windows XP "},
        {kPlatformWindowsNT, 5, 2, "Windows Server 2003 "},
        {kPlatformWindowsNT, 5, 3, ""},
        {kPlatformWindowsNT, 6, 1, "Windows Vista "},
        {kPlatformWindowsNT, 10, 0, "Unknown WinNT "},
        {kPlatformWin32s, 3, 1, "Unknown Windows Platform "},
        {3, 10, 0, "Unknown Windows Platform "},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(WindowsVersionName(r.platform, r.major, r.minor), QString::fromUtf8(r.name))
            << r.platform << " " << r.major << "." << r.minor;
    }
    // 9x keeps the version in the build number's high word.
    EXPECT_EQ(WindowsBuildNumber(kPlatformWindows9x, 0x040A08AEu), 2222u);
    EXPECT_EQ(WindowsBuildNumber(kPlatformWindowsNT, 2600u), 2600u);
    EXPECT_EQ(FormatComputerInformation(WindowsVersionName(kPlatformWindowsNT, 5, 1), QStringLiteral("Service Pack 2"),
                                        5, 1, 2600),
              QStringLiteral("Windows XP Service Pack 2 (Version 5.1 build 2600)"));
}

TEST(ComputerInformation, KernelReleaseGivesTheVersionNumbers) {
    const KernelRelease debian = ParseKernelRelease(QStringLiteral("6.1.0-18-amd64"));
    EXPECT_EQ(debian.major, 6u);
    EXPECT_EQ(debian.minor, 1u);
    EXPECT_EQ(debian.patch, 0u);
    const KernelRelease wsl = ParseKernelRelease(QStringLiteral("5.15.153.1-microsoft-standard-WSL2"));
    EXPECT_EQ(wsl.major, 5u);
    EXPECT_EQ(wsl.minor, 15u);
    EXPECT_EQ(wsl.patch, 153u);
    const KernelRelease shortOne = ParseKernelRelease(QStringLiteral("4.9"));
    EXPECT_EQ(shortOne.major, 4u);
    EXPECT_EQ(shortOne.minor, 9u);
    EXPECT_EQ(shortOne.patch, 0u);
    const KernelRelease junk = ParseKernelRelease(QStringLiteral("unknown"));
    EXPECT_EQ(junk.major, 0u);
    EXPECT_EQ(junk.minor, 0u);

    // The running system in the same shape.
    const QString running = ComputerInformation();
    EXPECT_TRUE(running.contains(QRegularExpression(QStringLiteral("\\S \\(Version \\d+\\.\\d+ build \\d+\\)$"))))
        << running.toStdString();
}

TEST(ServiceAddress, BareHostMeansHttpsAndOnlyWebSchemesAreUsed) {
    EXPECT_EQ(ServiceBaseUrl(QStringLiteral("feedback.vornell.example")).toString(),
              QStringLiteral("https://feedback.vornell.example"));
    EXPECT_EQ(ServiceBaseUrl(QString()).scheme(), QStringLiteral("https"));
    const QUrl local = ServiceBaseUrl(QStringLiteral(" http://127.0.0.1:8080 "));
    EXPECT_EQ(local.scheme(), QStringLiteral("http"));
    EXPECT_EQ(local.port(), 8080);
    EXPECT_EQ(local.resolved(QUrl(QStringLiteral("/php-bin/app_feedback.php"))).toString(),
              QStringLiteral("http://127.0.0.1:8080/php-bin/app_feedback.php"));
    EXPECT_FALSE(ServiceBaseUrl(QStringLiteral("ftp://files.vornell.example")).isValid());
    EXPECT_FALSE(ServiceBaseUrl(QStringLiteral("http://")).isValid());
}

TEST(MultipartHeaders, FileNameCannotBreakOutOfItsParameter) {
    EXPECT_EQ(DispositionParameter(QStringLiteral("Vornell Firmware Updater.errors.txt")),
              QByteArray("Vornell Firmware Updater.errors.txt"));
    EXPECT_EQ(DispositionParameter(QStringLiteral("a\"b\r\nContent-Type: x")), QByteArray("a%22b%0D%0AContent-Type: x"));
    EXPECT_EQ(DispositionParameter(QStringLiteral("\u00fcber.txt")), QByteArray("\xc3\xbc" "ber.txt"));
}
