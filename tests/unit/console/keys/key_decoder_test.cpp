// Terminal bytes into the Windows console's key codes: sequences, modified keys, lone ESC, Enter,
// Backspace and UTF-8 characters.
#include "console/keys/key_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/console_interface.h"

namespace {

constexpr int kTimeOut = -1;  // in a script: the short wait passes with no byte

// Feeds a script of bytes (and waits that run out) and collects every code it gives.
std::vector<int> decode(const std::vector<int>& script, bool altFromEscape = true) {
  KeyDecoder decoder(altFromEscape);
  std::vector<int> keys;
  for (int item : script) {
    if (item == kTimeOut) {
      decoder.timeOut();
    } else {
      decoder.feed(static_cast<unsigned char>(item));
    }
    while (decoder.hasKey()) {
      keys.push_back(decoder.nextKey().code);
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
      {"\x1b[A", 224, 72},
      {"\x1bOA", 224, 72},
      {"\x1b[B", 224, 80},
      {"\x1bOB", 224, 80},
      {"\x1b[C", 224, 77},
      {"\x1bOC", 224, 77},
      {"\x1b[D", 224, 75},
      {"\x1bOD", 224, 75},
      {"\x1b[H", 224, 71},
      {"\x1bOH", 224, 71},
      {"\x1b[1~", 224, 71},
      {"\x1b[7~", 224, 71},
      {"\x1b[F", 224, 79},
      {"\x1bOF", 224, 79},
      {"\x1b[4~", 224, 79},
      {"\x1b[8~", 224, 79},
      {"\x1b[5~", 224, 73},
      {"\x1b[6~", 224, 81},
      {"\x1b[2~", 224, 82},
      {"\x1b[3~", 224, 83},
      {"\x1bOP", 0, 59},
      {"\x1bOQ", 0, 60},
      {"\x1bOR", 0, 61},
      {"\x1bOS", 0, 62},
      {"\x1b[11~", 0, 59},
      {"\x1b[12~", 0, 60},
      {"\x1b[13~", 0, 61},
      {"\x1b[14~", 0, 62},
      {"\x1b[15~", 0, 63},
      {"\x1b[17~", 0, 64},
      {"\x1b[18~", 0, 65},
      {"\x1b[19~", 0, 66},
      {"\x1b[20~", 0, 67},
      {"\x1b[21~", 0, 68},
      {"\x1b[[A", 0, 59},
      {"\x1b[[B", 0, 60},
      {"\x1b[[C", 0, 61},
      {"\x1b[[D", 0, 62},
      {"\x1b[[E", 0, 63},
      {"\x1b[23~", 224, 133},
      {"\x1b[24~", 224, 134},
      // With modifiers, xterm-style: ";2" Shift, ";3" Alt, ";5" Ctrl.
      {"\x1b[1;5A", 224, 141},
      {"\x1b[1;5B", 224, 145},
      {"\x1b[1;5D", 224, 115},
      {"\x1b[1;5C", 224, 116},
      {"\x1b[1;5H", 224, 119},
      {"\x1b[1;5F", 224, 117},
      {"\x1b[5;5~", 224, 134},
      {"\x1b[6;5~", 224, 118},
      {"\x1b[2;5~", 224, 146},
      {"\x1b[3;5~", 224, 147},
      {"\x1b[1;3A", 0, 152},
      {"\x1b[1;3B", 0, 160},
      {"\x1b[1;3D", 0, 155},
      {"\x1b[1;3C", 0, 157},
      {"\x1b[1;2A", 224, 72},
      {"\x1b[1;2D", 224, 75},
      {"\x1b[1;2P", 0, 84},
      {"\x1bO2P", 0, 84},
      {"\x1bO1;2P", 0, 84},
      {"\x1b[21;2~", 0, 93},
      {"\x1b[1;5P", 0, 94},
      {"\x1b[15;5~", 0, 98},
      {"\x1b[21;5~", 0, 103},
      {"\x1b[1;3S", 0, 107},
      {"\x1b[21;3~", 0, 113},
      {"\x1b[23;2~", 224, 135},
      {"\x1b[24;2~", 224, 136},
      {"\x1b[23;5~", 224, 137},
      {"\x1b[24;5~", 224, 138},
      {"\x1b[23;3~", 224, 139},
      {"\x1b[24;3~", 224, 140},
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

// ESC and a key at once is Alt with that key, with the Windows console's codes; a script has no
// Alt key, and there the same bytes are ESC and then the key.
TEST(KeyDecoder, EscapeBeforeAKeyIsAltWithThatKeyExceptInAScript) {
  const struct {
    const char* bytes;
    std::vector<int> codes;
  } cases[] = {
      {"\x1b"
       "1",
       {0, 120}},
      {"\x1b"
       "0",
       {0, 129}},
      {"\x1b=", {0, 131}},
      {"\x1b"
       "a",
       {0, 30}},
      {"\x1b"
       "A",
       {0, 30}},
      {"\x1bq", {0, 16}},
      {"\x1bx", {0, 45}},
      {"\x1bm", {0, 50}},
      {"\x1b/", {0, 53}},
      {"\x1b\r", {0, 28}},
      {"\x1b\x7f", {0, 14}},
      {"\x1b[", {0, 26}},
      {"\x1bO", {0, 24}},
      {"\x1b\x1b[A", {27, 224, 72}},
      {"\x1b\x01", {27, 1}},  // a control key has no Alt code: ESC, then the key
  };
  for (const auto& c : cases) {
    EXPECT_EQ(decode(bytes(c.bytes)), c.codes) << show(c.bytes);
    std::vector<int> inScript;
    for (char byte : std::string(c.bytes)) {
      inScript.push_back(static_cast<unsigned char>(byte));
    }
    if (c.codes.size() == 3) {
      inScript = {27, 224, 72};  // the arrow's sequence is an arrow in a script too
    } else if (inScript[1] == 0x7f) {
      inScript[1] = kBackspaceKey;  // DEL is how a terminal sends Backspace
    }
    EXPECT_EQ(decode(bytes(c.bytes), false), inScript) << "script " << show(c.bytes);
  }
}

TEST(KeyDecoder, UnknownSequencesAreDroppedWhole) {
  const char* unknown[] = {
      "\x1b[1;6A",                             // Ctrl-Shift-Up: no code of its own
      "\x1b[1;2H",                             // Shift-Home
      "\x1b[3;3~",                             // Alt-Delete
      "\x1b[Z",                                // Shift-Tab
      "\x1b[99~",                              // no such key
      "\x1b[200~",                             // start of a bracketed paste
      "\x1bOx",                                // SS3 with an unknown final byte
      "\x1b[[Z",                               // Linux console form, unknown letter
      "\x1b[?1;2c",                            // a terminal's answer to a query
      "\x1b[123456789012345678901234567890~",  // longer than any key's sequence
  };
  for (const char* sequence : unknown) {
    EXPECT_EQ(decode(bytes(std::string(sequence) + "q")), std::vector<int>{'q'}) << show(sequence);
  }
}

TEST(KeyDecoder, UnfinishedSequenceIsDroppedWhenTheWaitEnds) {
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
}

TEST(KeyDecoder, UtfEightCharacterIsOneKeyAndStrayBytesAreKeysOfTheirOwn) {
  struct Case {
    std::vector<int> script;
    std::vector<std::string> keys;  // the text of each key, in order
  } cases[] = {
      {bytes("\xc3\xa9", false), {"\xc3\xa9"}},  // é
      {bytes("\xe2\x82\xac\xf0\x9f\x98\x80", false), {"\xe2\x82\xac", "\xf0\x9f\x98\x80"}},
      {bytes("\xc3\xa9x", false), {"\xc3\xa9", "x"}},
      {bytes("\xc3", false), {}},                          // waits for the rest
      {bytes("\xe9"), {"\xe9"}},                           // Latin-1 é: alone after the wait
      {bytes("\xe2\x82x", false), {"\xe2", "\x82", "x"}},  // broken off by another key
      {bytes("\xa9\xff", false), {"\xa9", "\xff"}},        // no character starts here
  };
  for (const Case& c : cases) {
    KeyDecoder decoder;
    std::vector<std::string> keys;
    for (int item : c.script) {
      if (item == kTimeOut) {
        decoder.timeOut();
      } else {
        decoder.feed(static_cast<unsigned char>(item));
      }
      while (decoder.hasKey()) {
        Key key = decoder.nextKey();
        EXPECT_EQ(key.code, static_cast<unsigned char>(key.text[0]));
        keys.push_back(key.text);
      }
    }
    EXPECT_EQ(keys, c.keys);
  }
}

TEST(KeyDecoder, NulIsDroppedSoItIsNeverTakenForAPrefix) {
  EXPECT_EQ(decode({0, 'H'}), std::vector<int>{'H'});
}

TEST(KeyDecoder, CarriageReturnIsRememberedOnceForALineRead) {
  KeyDecoder decoder;
  decoder.feed('\r');
  EXPECT_EQ(decoder.nextKey().code, kEnterKey);
  EXPECT_TRUE(decoder.takeCarriageReturn());
  EXPECT_FALSE(decoder.takeCarriageReturn());
  decoder.feed('\n');
  EXPECT_EQ(decoder.nextKey().code, kEnterKey) << "once taken, an LF is an Enter of its own";
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
  EXPECT_EQ(decoder.nextKey().code, 'B');
}
