// The report of past days end to end: a generated ten-day history with
// known run times in, CSV, HTML and text out; the HTML also rendered in
// headless Chromium.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#ifdef SPK_HAVE_ZLIB
#include <zlib.h>
#endif

#include "e2e/Installation.h"
#include "support/Text.h"

namespace spekolar {

namespace {

using spktest::CountOf;
using spktest::Installation;
using spktest::ReadBytes;
using spktest::RunResult;

// The report's default last day is yesterday: 07.12.2026.
const char kNow[] = "2026-12-08 06:00:00";
const int kDays = 10;

struct Day {
  int day, month;
};
// 28.11.2026 to 07.12.2026.
Day DayAt(int i) { return i < 3 ? Day{28 + i, 11} : Day{i - 2, 12}; }

std::string Fmt(const char* format, Day d) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, d.day, d.month);
  return buffer;
}

// The closing grows by two minutes a day from 20 minutes (above the
// default maximum of 35 minutes on the last two days) and logs an error on
// the fourth day; terminal T01 takes 5 minutes a day, T02 10 minutes but 25
// (above the download maximum of 20) on days 2, 5 and 8; T07 does not
// answer on days 3, 6 and 9.
int ClosingMinutes(int i) { return 20 + 2 * i; }
bool T02Slow(int i) { return i % 3 == 1; }
bool T07Silent(int i) { return i % 3 == 2; }

void WriteHistory(Installation& inst) {
  std::string closing, download, comm;
  for (int i = 0; i < kDays; ++i) {
    const Day d = DayAt(i);
    closing += Fmt("%02d.%02d.2026 22:00:00 Tagesabschluss wird gestartet\n", d);
    if (i == 3) closing += Fmt("%02d.%02d.2026 22:05:00 Fehler beim Buchen\n", d);
    closing += Fmt("%02d.%02d.2026 22:", d) + std::to_string(ClosingMinutes(i)) + ":00 Tagesabschluss beendet\n";
    download += "Start Download\n" + Fmt("%02d-%02d-2026 10:00:00 Verbindung\n", d) + "Term      : \"T01\"\n" +
                Fmt("%02d-%02d-2026 10:05:00 Ende\n", d);
    download += "Start Download\n" + Fmt("%02d-%02d-2026 11:00:00 Verbindung\n", d) + "Term      : \"T02\"\n" +
                Fmt(T02Slow(i) ? "%02d-%02d-2026 11:25:00 Ende\n" : "%02d-%02d-2026 11:10:00 Ende\n", d);
    comm += Fmt("%02d%02d2026100000 Start\n", d) + "Terminal: T07\n";
    if (T07Silent(i)) comm += Fmt("%02d%02d2026100100 Start\n", d) + Fmt("%02d%02d2026100105 keine Antwort\n", d);
    comm += Fmt("%02d%02d2026100110 Download beendet\n", d);
  }
  inst.WriteFile("logs/closing.log", closing);
  inst.WriteFile("logs/download.log", download);
  inst.WriteFile("logs/comm/termcommlog_1.log", comm);
  const std::string logs = inst.Root() + "/work/logs/";
  inst.WriteConfig("[SPEKOLAR]\nE-Mail=admin@example.org\n"
                   "[TAGESABSCHLUSS]\nTyp=1,2\nMeldungstyp=E-MAIL\nDatei=" + logs + "closing.log\n"
                   "[TERMINAL DOWNLOAD]\nTyp=1,2\nMeldungstyp=Fenster\nDatei=" + logs + "download.log," +
                   logs + "comm/termcommlog_*.log\n");
}

// The first group of each match of `pattern` in `text`.
std::vector<std::string> Captures(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
    found.push_back((*it)[1]);
  }
  return found;
}

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override { WriteHistory(inst_); }
  RunResult Report(std::vector<std::string> options) {
    options.push_back(inst_.CredentialsPath());
    return inst_.Run(options, kNow);
  }
  Installation inst_;
};

TEST_F(ReportTest, CsvListsExactlyTheRunsOfTheHistory) {
  RunResult r = Report({"--report", "--days", "10", "--format", "csv"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::string expected = "day,section,monitor,terminal,start,end,seconds,within_limits\r\n";
  for (int i = 0; i < kDays; ++i) {
    const std::string day = Fmt("2026-%2$02d-%1$02d", DayAt(i));
    const int closing = ClosingMinutes(i) * 60;
    expected += day + ",TAGESABSCHLUSS,Tagesabschluss,,22:00:00,22:" + std::to_string(ClosingMinutes(i)) +
                ":00," + std::to_string(closing) + "," + (closing <= 2100 ? "1" : "0") + "\r\n";
    expected += day + ",TERMINAL DOWNLOAD,Terminal Download,T01,10:00:00,10:05:00,300,1\r\n";
    expected += day + ",TERMINAL DOWNLOAD,Terminal Download,T02," +
                (T02Slow(i) ? "11:00:00,11:25:00,1500,0\r\n" : "11:00:00,11:10:00,600,1\r\n");
  }
  EXPECT_EQ(r.out, expected);
  // Nothing written: the log directory holds no file of the program.
  EXPECT_EQ(inst_.Log("SPEKOLAR.TXT"), "");
  EXPECT_EQ(inst_.Log("SPEKOLAR.log"), "");
}

TEST_F(ReportTest, HtmlHasOneChartPerRunTimeSectionAndTheFindingsOfEachDaysDryRun) {
  const std::string path = inst_.Root() + "/report.html";
  RunResult r = Report({"--report", "--days=10", "--out", path});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string html = ReadBytes(path);
  // Self-contained: no script, nothing loaded from elsewhere.
  for (const char* outside : {"<script", " src=", "href="}) EXPECT_EQ(CountOf(html, outside), 0u) << outside;

  // One chart per run-time section, in pass order, with a point per run and
  // the limits band; the runs outside the limits marked.
  struct Chart {
    const char* section;
    size_t points, outside;
  };
  const Chart charts[] = {{"TAGESABSCHLUSS", kDays, 2}, {"TERMINAL DOWNLOAD", 2 * kDays, 3}};
  ASSERT_EQ(CountOf(html, "<svg class=\"chart\""), 2u);
  size_t at = 0;
  for (const Chart& c : charts) {
    at = html.find("<h2>Laufzeiten " + std::string(c.section) + "</h2>", at);
    ASSERT_NE(at, std::string::npos) << c.section;
    const size_t begin = html.find("<svg class=\"chart\"", at);
    const size_t end = html.find("</svg>", begin);
    const std::string svg = html.substr(begin, end - begin);
    EXPECT_EQ(CountOf(svg, "<circle class=\"run"), c.points) << c.section;
    EXPECT_EQ(CountOf(svg, "<circle class=\"run out\""), c.outside) << c.section;
    EXPECT_EQ(CountOf(svg, "<rect class=\"band\""), 1u) << c.section;
  }
  // The summary and the terminal rankings.
  EXPECT_NE(html.find("<th>L\xC3\xA4ngster Tagesabschluss</th><td>38:00 min am 07.12.2026</td>"),
            std::string::npos);
  EXPECT_NE(html.find("<tr><td>T07</td><td>3</td><td>3</td><td>0</td><td>0</td></tr>"), std::string::npos);
  EXPECT_NE(html.find("<tr><td>T02</td><td>3</td><td>0</td><td>3</td><td>10</td></tr>"), std::string::npos);

  // The findings table against what --dry-run --date prints for each day.
  const size_t table = html.find("<table class=\"findings\">");
  ASSERT_NE(table, std::string::npos);
  const std::string findings = html.substr(table, html.find("</table>", table) - table);
  const std::vector<std::string> monitors = Captures(findings, "<th>([^<]*)</th>");
  ASSERT_GE(monitors.size(), 3u);  // Tag, the monitors, Summe
  int total = 0;
  for (int i = 0; i < kDays; ++i) {
    const std::string german = Fmt("%02d.%02d.2026", DayAt(i));
    RunResult dry = Report({"--dry-run", "--date", Fmt("2026-%2$02d-%1$02d", DayAt(i))});
    ASSERT_EQ(dry.exitCode, 0) << dry.err;
    std::map<std::string, int> expected;  // "SECTION Typ N": records
    for (const std::string& monitor : Captures(dry.out, "\nSPEKOLAR\\.TXT: [^;]*;([^;]*;[^;]*);")) {
      ++expected[monitor.substr(0, monitor.find(';')) + " Typ " + monitor.substr(monitor.find(';') + 1)];
    }
    const size_t row = findings.find("<tr><td>" + german + "</td>");
    ASSERT_NE(row, std::string::npos) << german;
    const std::string cells = findings.substr(row, findings.find("</tr>", row) - row);
    const std::vector<std::string> values = Captures(cells, "<td[^>]*>([^<]*)</td>");
    ASSERT_EQ(values.size(), monitors.size()) << cells;
    int dayTotal = 0;
    for (size_t m = 1; m + 1 < monitors.size(); ++m) {
      EXPECT_EQ(values[m], std::to_string(expected[monitors[m]])) << german << " " << monitors[m];
      expected.erase(monitors[m]);
      dayTotal += std::atoi(values[m].c_str());
    }
    EXPECT_TRUE(expected.empty() || expected.begin()->second == 0) << german << " " << expected.begin()->first;
    EXPECT_EQ(values.back(), std::to_string(dayTotal)) << german;
    total += dayTotal;
  }
  // Closing too long on two days, its error on one, T02 slow and T07 silent
  // on three each.
  EXPECT_EQ(total, 2 + 1 + 3 + 3);
}

TEST_F(ReportTest, TextShowsSparklinesUnderAUtf8Locale) {
  inst_.SetRunEnvironment("LANG=C.UTF-8");
  RunResult r = Report({"--report", "--days", "10"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Spekolar-Bericht 28.11.2026 \xE2\x80\x93 07.12.2026 (10 Tage)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("L\xC3\xA4ngster Tagesabschluss: 38:00 min am 07.12.2026"), std::string::npos) << r.out;
  // The closing's line rises day by day to the full block.
  const size_t spark = r.out.find("\xE2\x96\x81", r.out.find("Laufzeiten TAGESABSCHLUSS"));
  ASSERT_NE(spark, std::string::npos) << r.out;
  const std::string line = r.out.substr(spark, r.out.find('\n', spark) - spark);
  EXPECT_EQ(line.rfind("\xE2\x96\x88", 3 * (kDays - 1)), 3u * (kDays - 1)) << line;

  inst_.SetRunEnvironment("LANG=C");
  RunResult plain = Report({"--report", "--days", "10", "--format", "text"});
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  EXPECT_EQ(plain.out.find("\xE2\x96"), std::string::npos);
  EXPECT_NE(plain.out.find("L\xE4ngster Tagesabschluss"), std::string::npos);
}

#ifdef SPK_HAVE_ZLIB
// The pixels of a PNG as chromium writes it (8 bits, RGB or RGBA, not
// interlaced); false for anything else.
bool DecodePng(const std::string& png, int* width, int* height, std::vector<unsigned char>* rgb) {
  if (png.size() < 33 || png.compare(1, 3, "PNG") != 0) return false;
  auto be32 = [&](size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(png[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(png[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(png[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(png[at + 3]));
  };
  *width = static_cast<int>(be32(16));
  *height = static_cast<int>(be32(20));
  const int depth = png[24], colour = png[25], interlace = png[28];
  if (depth != 8 || (colour != 2 && colour != 6) || interlace != 0) return false;
  const int channels = colour == 6 ? 4 : 3;
  std::string idat;
  for (size_t at = 8; at + 8 <= png.size();) {
    const uint32_t length = be32(at);
    if (png.compare(at + 4, 4, "IDAT") == 0) idat += png.substr(at + 8, length);
    at += 12 + length;
  }
  const size_t stride = static_cast<size_t>(*width) * channels;
  std::vector<unsigned char> raw((stride + 1) * static_cast<size_t>(*height));
  uLongf rawSize = raw.size();
  if (uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK) {
    return false;
  }
  std::vector<unsigned char> pixels(stride * static_cast<size_t>(*height));
  for (int y = 0; y < *height; ++y) {
    const unsigned char filter = raw[y * (stride + 1)];
    const unsigned char* in = &raw[y * (stride + 1) + 1];
    unsigned char* out = &pixels[y * stride];
    const unsigned char* up = y > 0 ? &pixels[(y - 1) * stride] : nullptr;
    for (size_t x = 0; x < stride; ++x) {
      const int a = x >= static_cast<size_t>(channels) ? out[x - channels] : 0;
      const int b = up ? up[x] : 0;
      const int c = up && x >= static_cast<size_t>(channels) ? up[x - channels] : 0;
      int predictor = 0;
      switch (filter) {
        case 1: predictor = a; break;
        case 2: predictor = b; break;
        case 3: predictor = (a + b) / 2; break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predictor = pa <= pb && pa <= pc ? a : (pb <= pc ? b : c);
          break;
        }
        default: break;
      }
      out[x] = static_cast<unsigned char>(in[x] + predictor);
    }
  }
  rgb->clear();
  for (size_t i = 0; i < pixels.size(); i += channels) rgb->insert(rgb->end(), &pixels[i], &pixels[i] + 3);
  return true;
}
#endif

// How to look at the page by hand: the README's report section.
TEST_F(ReportTest, HtmlRendersInHeadlessChromium) {
#ifndef SPK_HAVE_ZLIB
  GTEST_SKIP() << "built without zlib: the screenshot cannot be decoded";
#else
  if (std::system("command -v chromium >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "chromium is not installed (scripts/install-deps.sh installs it)";
  }
  const std::string html = inst_.Root() + "/report.html";
  const std::string png = inst_.Root() + "/report.png";
  RunResult r = Report({"--report", "--days", "10", "--out", html});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string command = "HOME=" + inst_.Root() +
                              " timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars "
                              "--window-size=1000,1600 --screenshot=" + png + " file://" + html +
                              " >" + inst_.Root() + "/chromium.out 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << ReadBytes(inst_.Root() + "/chromium.out");
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;
  ASSERT_TRUE(DecodePng(ReadBytes(png), &width, &height, &rgb));
  EXPECT_EQ(width, 1000);
  EXPECT_EQ(height, 1600);
  // The charts' colours where the charts are: the limits band, the points
  // and the marked points, each a visible area of the page.
  struct Colour {
    const char* what;
    int r, g, b, atLeast;
  };
  const Colour colours[] = {
      {"band", 0xcf, 0xec, 0xcf, 20000}, {"run", 0x2a, 0x6d, 0xb0, 300}, {"outside", 0xd0, 0x30, 0x2f, 150}};
  for (const Colour& c : colours) {
    int count = 0;
    int top = height, bottom = 0;
    for (size_t i = 0, y = 0; i + 2 < rgb.size(); i += 3) {
      y = i / 3 / static_cast<size_t>(width);
      if (std::abs(rgb[i] - c.r) <= 6 && std::abs(rgb[i + 1] - c.g) <= 6 && std::abs(rgb[i + 2] - c.b) <= 6) {
        ++count;
        top = std::min(top, static_cast<int>(y));
        bottom = std::max(bottom, static_cast<int>(y));
      }
    }
    EXPECT_GE(count, c.atLeast) << c.what;
    // Two charts one below the other: the colour spans more than one.
    if (count > 0) {
      EXPECT_GT(bottom - top, 260) << c.what;
    }
  }
#endif
}

}  // namespace

}  // namespace spekolar
