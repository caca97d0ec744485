// Terminal bytes into the Windows console's key codes: sequences, lone ESC, Enter and Backspace.
#include "app/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/console_interface.h"

namespace {

constexpr int kTimeOut = -1;  // in a script: the short wait passes with no byte

// Feeds a script of bytes (and waits that run out) and collects every code it gives.
std::vector<int> decode(const std::vector<int>& script) {
  KeyDecoder decoder;
  std::vector<int> keys;
  for (int item : script) {
    if (item == kTimeOut) {
      decoder.timeOut();
    } else {
      decoder.feed(static_cast<unsigned char>(item));
    }
    while (decoder.hasKey()) {
      keys.push_back(decoder.nextKey());
    }
  }
  return keys;
}

std::vector<int> bytes(const std::string& text, bool waitAfter = true) {
  std::vector<int> script;
  for (char c : text) {
    script.push_back(static_cast<unsigned char>(c));
  }
  if (waitAfter) {
    script.push_back(kTimeOut);
  }
  return script;
}

std::string show(const std::string& text) {
  std::string shown;
  for (unsigned char c : text) {
    if (c == 0x1b) {
      shown += "ESC";
    } else if (c < 0x20 || c >= 0x7f) {
      shown += "\\x" + std::to_string(c);
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

}  // namespace

TEST(KeyDecoder, EverySequenceBecomesItsTwoWindowsCodes) {
  struct Case {
    const char* sequence;
    int prefix;
    int code;
  } cases[] = {
      {"\x1b[A", 224, 72},    {"\x1bOA", 224, 72},  {"\x1b[B", 224, 80},  {"\x1bOB", 224, 80},
      {"\x1b[C", 224, 77},    {"\x1bOC", 224, 77},  {"\x1b[D", 224, 75},  {"\x1bOD", 224, 75},
      {"\x1b[H", 224, 71},    {"\x1bOH", 224, 71},  {"\x1b[1~", 224, 71}, {"\x1b[7~", 224, 71},
      {"\x1b[F", 224, 79},    {"\x1bOF", 224, 79},  {"\x1b[4~", 224, 79}, {"\x1b[8~", 224, 79},
      {"\x1b[5~", 224, 73},   {"\x1b[6~", 224, 81}, {"\x1b[2~", 224, 82}, {"\x1b[3~", 224, 83},
      {"\x1bOP", 0, 59},      {"\x1bOQ", 0, 60},    {"\x1bOR", 0, 61},    {"\x1bOS", 0, 62},
      {"\x1b[11~", 0, 59},    {"\x1b[12~", 0, 60},  {"\x1b[13~", 0, 61},  {"\x1b[14~", 0, 62},
      {"\x1b[15~", 0, 63},    {"\x1b[17~", 0, 64},  {"\x1b[18~", 0, 65},  {"\x1b[19~", 0, 66},
      {"\x1b[20~", 0, 67},    {"\x1b[21~", 0, 68},  {"\x1b[[A", 0, 59},   {"\x1b[[B", 0, 60},
      {"\x1b[[C", 0, 61},     {"\x1b[[D", 0, 62},   {"\x1b[[E", 0, 63},   {"\x1b[23~", 224, 133},
      {"\x1b[24~", 224, 134},
  };
  for (const Case& c : cases) {
    // Complete sequences need no wait: the codes are ready as the last byte arrives.
    EXPECT_EQ(decode(bytes(c.sequence, false)), (std::vector<int>{c.prefix, c.code}))
        << show(c.sequence);
  }
}

TEST(KeyDecoder, LoneEscapeIsToldApartByTheWait) {
  EXPECT_EQ(decode(bytes("\x1b", false)), std::vector<int>{}) << "no code before the wait ends";
  EXPECT_EQ(decode(bytes("\x1b")), std::vector<int>{27});
  // ESC, the wait, then a key that would have continued a sequence: two keys of their own.
  EXPECT_EQ(decode({0x1b, kTimeOut, '['}), (std::vector<int>{27, '['}));
  EXPECT_EQ(decode({0x1b, kTimeOut, 'x'}), (std::vector<int>{27, 'x'}));
  EXPECT_EQ(decode({0x1b, kTimeOut, 0x1b, kTimeOut}), (std::vector<int>{27, 27}));
}

TEST(KeyDecoder, EscapeBeforeAKeyThatStartsNoSequenceIsTwoKeys) {
  EXPECT_EQ(decode(bytes("\x1bx")), (std::vector<int>{27, 'x'}));
  EXPECT_EQ(decode(bytes("\x1b\x1b[A")), (std::vector<int>{27, 224, 72}));
  EXPECT_EQ(decode(bytes("\x1b\r")), (std::vector<int>{27, 13}));
}

TEST(KeyDecoder, UnknownSequencesAreDroppedWhole) {
  const char* unknown[] = {
      "\x1b[1;5A",                             // Ctrl-Up
      "\x1b[Z",                                // Shift-Tab
      "\x1b[99~",                              // no such key
      "\x1b[200~",                             // start of a bracketed paste
      "\x1bOx",                                // SS3 with an unknown final byte
      "\x1bO1;2P",                             // Shift-F1 in SS3 form
      "\x1b[[Z",                               // Linux console form, unknown letter
      "\x1b[?1;2c",                            // a terminal's answer to a query
      "\x1b[123456789012345678901234567890~",  // longer than any key's sequence
  };
  for (const char* sequence : unknown) {
    EXPECT_EQ(decode(bytes(std::string(sequence) + "q")), std::vector<int>{'q'}) << show(sequence);
  }
}

TEST(KeyDecoder, UnfinishedSequenceIsDroppedWhenTheWaitEnds) {
  EXPECT_EQ(decode(bytes("\x1b[")), std::vector<int>{});
  EXPECT_EQ(decode(bytes("\x1bO")), std::vector<int>{});
  EXPECT_EQ(decode(bytes("\x1b[1")), std::vector<int>{});
  EXPECT_EQ(decode(bytes("\x1b[[")), std::vector<int>{});
  EXPECT_EQ(decode({0x1b, '[', '1', kTimeOut, 'x'}), std::vector<int>{'x'});
}

TEST(KeyDecoder, ControlByteInsideASequenceEndsItAndCountsAsAKey) {
  EXPECT_EQ(decode(bytes("\x1b[1\r")), std::vector<int>{13});
  EXPECT_EQ(decode(bytes("\x1b[\x1b[B")), (std::vector<int>{224, 80}));
}

TEST(KeyDecoder, EnterIsOneThirteenForCrLfAndCrLf) {
  struct Case {
    const char* input;
    std::vector<int> keys;
  } cases[] = {
      {"\r", {13}},
      {"\n", {13}},
      {"\r\n", {13}},
      {"\r\r", {13, 13}},
      {"\n\n", {13, 13}},
      {"\n\r", {13, 13}},
      {"\r\n\r\n", {13, 13}},
      {"\rx\n", {13, 'x', 13}},
      {"a\r\nb", {'a', 13, 'b'}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(decode(bytes(c.input)), c.keys) << show(c.input);
  }
}

TEST(KeyDecoder, BackspaceAndPlainBytes) {
  EXPECT_EQ(decode(bytes("\x7f")), std::vector<int>{8});
  EXPECT_EQ(decode(bytes("\b")), std::vector<int>{8});
  EXPECT_EQ(decode(bytes("aZ9 ")), (std::vector<int>{'a', 'Z', '9', ' '}));
  EXPECT_EQ(decode(bytes("\x03\x09")), (std::vector<int>{3, 9}));
  EXPECT_EQ(decode(bytes("\xc3\xa9")), (std::vector<int>{0xc3, 0xa9}))
      << "UTF-8 bytes pass as codes";
}

TEST(KeyDecoder, NulIsDroppedSoItIsNeverTakenForAPrefix) {
  EXPECT_EQ(decode({0, 'H'}), std::vector<int>{'H'});
}

TEST(KeyDecoder, CarriageReturnIsRememberedOnceForALineRead) {
  KeyDecoder decoder;
  decoder.feed('\r');
  EXPECT_EQ(decoder.nextKey(), kEnterKey);
  EXPECT_TRUE(decoder.takeCarriageReturn());
  EXPECT_FALSE(decoder.takeCarriageReturn());
  decoder.feed('\n');
  EXPECT_EQ(decoder.nextKey(), kEnterKey) << "once taken, an LF is an Enter of its own";
}

TEST(KeyDecoder, ResetForgetsQueuedCodesAndABegunSequence) {
  KeyDecoder decoder;
  for (char c : std::string("\x1b[A\x1b[")) {
    decoder.feed(static_cast<unsigned char>(c));
  }
  EXPECT_TRUE(decoder.hasKey());
  EXPECT_TRUE(decoder.isMidSequence());
  decoder.reset();
  EXPECT_FALSE(decoder.hasKey());
  EXPECT_FALSE(decoder.isMidSequence());
  decoder.feed('B');
  EXPECT_EQ(decoder.nextKey(), 'B');
}
