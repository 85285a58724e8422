#include "Report.h"

#include <gtest/gtest.h>

namespace {

std::string Reported(std::initializer_list<std::pair<const char*, QString>> fields)
{
    SetHeadlessReport(true);
    testing::internal::CaptureStdout();
    ReportView("MAIN", fields);
    const std::string out = testing::internal::GetCapturedStdout();
    SetHeadlessReport(false);
    return out;
}

TEST(HeadlessReport, OneLinePerEventEvenForReceiverTexts)
{
    // A device text from the receiver may carry tabs and line ends.
    EXPECT_EQ(Reported({{"DeviceLabel", QString("AB\tC\r\nD")}, {"FileLabel", QString("x.dat")}}),
              "MAIN\tDeviceLabel=AB C  D\tFileLabel=x.dat\n");
}

TEST(HeadlessReport, KeepsTrailingBlanksAndWritesUtf8)
{
    EXPECT_EQ(Reported({{"LatLabel", QString::fromLatin1("55\xB0" "30.0000N")}, {"GPSnumLabel", QString("1 3 ")}}),
              "MAIN\tLatLabel=55\xC2\xB0" "30.0000N\tGPSnumLabel=1 3 \n");
}

TEST(HeadlessReport, SilentUnlessSwitchedOn)
{
    testing::internal::CaptureStdout();
    ReportView("MAIN", {{"InfoLabel", QString("x")}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
