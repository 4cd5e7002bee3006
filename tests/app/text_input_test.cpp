// Text input in a running framework on the headless host: typed text, editing keys and input
// method results reaching the character buffer in order, and key-input strings edited from it
// by the per-frame processing.
#include "core/text_input.h"

#include <gtest/gtest.h>
#include <platform/imm.h>
#include <platform/testing_host.h>
#include <platform/win32.h>

#include <string>

#include "app/library_setup.h"
#include "app/main_window.h"
#include "library_fixture.h"

namespace {

constexpr int32_t kDikLeftShift = 0x2A;
constexpr char kBackspace = 8, kEnter = 13, kEscape = 27, kCopy = 3, kPaste = 0x16, kCut = 24;

class TextInputTest : public LibraryFixture {
protected:
    void SetUp() override {
        LibraryFixture::SetUp();
        ASSERT_EQ(SetupLibrary(), 0);
        for (int i = 0; i < 10; ++i) PumpMessages();
        Drain();
    }

    void TearDown() override {
        LibraryFixture::TearDown();
        // The input method's use outlives a shutdown; the next start begins without it.
        SwitchImeUse(0);
    }

    // Everything waiting in the character buffer.
    static std::string Drain() {
        std::string out;
        char c[2];
        for (int size; (size = GetCharCode(c, 1)) != 0;) out.append(c, static_cast<size_t>(size));
        return out;
    }

    // Host events carry UTF-8; the framework sees CP932.
    static HostEvent Event(HostEventKind kind, const char8_t* text = u8"", int x = 0, int y = 0) {
        HostEvent event;
        event.kind = kind;
        event.text = reinterpret_cast<const char*>(text);
        event.x = x;
        event.y = y;
        return event;
    }

    static HostEvent Key(HostEventKind kind, BYTE key) {
        HostEvent event = Event(kind);
        event.virtualKey = key;
        return event;
    }

    static Handle Field(int32_t maxLength, int32_t escCancels = 1, int32_t singleByteOnly = 0,
                        int32_t digitsOnly = 0, int32_t doubleByteOnly = 0) {
        Handle handle =
            MakeKeyInputString(maxLength, escCancels, singleByteOnly, digitsOnly, doubleByteOnly);
        EXPECT_EQ(ActivateKeyInputString(handle), 0);
        return handle;
    }

    // Puts the codes into the buffer and runs one frame's processing.
    static void Type(const std::string& codes) {
        for (char c : codes) ASSERT_EQ(PushCharCode(static_cast<uint8_t>(c)), 0);
        ASSERT_EQ(ProcessKeyInput(), 0);
    }

    static std::string Text(Handle handle) { return FindKeyInputRecord(handle)->text; }
    static int32_t Cursor(Handle handle) { return FindKeyInputRecord(handle)->cursor; }

    static void Shift(bool down) {
        TestHostPushEvent(GetMainHwnd(),
                          Key(down ? HostEventKind::KeyDown : HostEventKind::KeyUp, VK_LSHIFT));
        for (int i = 0; i < 100 && TestKeyDown(kDikLeftShift) != (down ? 1 : 0); ++i) {
            PumpMessages();
        }
        ASSERT_EQ(TestKeyDown(kDikLeftShift), down ? 1 : 0);
    }
};

TEST_F(TextInputTest, TheBufferHoldsUpTo1024BytesAndGivesDoubleByteCharactersWhole) {
    for (int i = 0; i < 1024; ++i) ASSERT_EQ(PushCharCode('a'), 0);
    EXPECT_EQ(PushCharCode('a'), -1);
    EXPECT_EQ(Drain(), std::string(1024, 'a'));

    char c[2] = {};
    ASSERT_EQ(PushCharCode(0x93), 0);  // the lead byte of 日 alone
    EXPECT_EQ(GetCharCode(c, 0), 0);
    ASSERT_EQ(PushCharCode(0xFA), 0);
    EXPECT_EQ(GetCharCode(c, 0), 2);
    EXPECT_EQ(GetCharCode(c, 1), 2);
    EXPECT_EQ(std::string(c, 2), "日");
    EXPECT_EQ(GetCharCode(c, 1), 0);
    ASSERT_EQ(PushCharCode(kCharCodeLeft), 0);
    EXPECT_EQ(GetCharCode(c, 1), 1);
    EXPECT_EQ(IsControlCharCode(kCharCodeLeft), 1);
    EXPECT_EQ(IsControlCharCode('a'), 0);
    EXPECT_EQ(CountCharsInBytes("a日b", 2), 2);
    EXPECT_EQ(CountCharsInBytes("a日b", 4), 3);
}

TEST_F(TextInputTest, TypedTextEditingKeysAndInputMethodResultsArriveInOrder) {
    HWND window = GetMainHwnd();
    SwitchImeUse(1);
    TestHostPushEvent(window, Event(HostEventKind::Text, u8"a"));
    TestHostPushEvent(window, Key(HostEventKind::KeyDown, 'B'));
    TestHostPushEvent(window, Event(HostEventKind::Text, u8"b"));
    TestHostPushEvent(window, Event(HostEventKind::TextEditing, u8"にほん", 2, 1));
    for (int i = 0; i < 5; ++i) PumpMessages();
    ImeComposition composing = GetImeComposition();
    EXPECT_EQ(composing.composing, 1);
    EXPECT_STREQ(composing.text, "にほん");
    EXPECT_EQ(composing.cursor, 2);
    EXPECT_EQ(composing.clauseEntries, 2);  // one clause: its start and end offsets
    EXPECT_EQ(composing.attributeCount, 6);

    TestHostPushEvent(window, Event(HostEventKind::Text, u8"日本"));
    TestHostPushEvent(window, Event(HostEventKind::Text, u8"表"));
    TestHostPushEvent(window, Key(HostEventKind::KeyDown, VK_LEFT));
    for (int i = 0; i < 5; ++i) PumpMessages();
    EXPECT_EQ(Drain(), std::string("ab日本表") + static_cast<char>(kCharCodeLeft));
    EXPECT_EQ(GetImeComposition().composing, 0);
    EXPECT_STREQ(GetImeComposition().text, "");
}

TEST_F(TextInputTest, WithoutTheInputMethodInUseCompositionsAreNotSeen) {
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::TextEditing, u8"か", 1, 0));
    TestHostPushEvent(GetMainHwnd(), Event(HostEventKind::Text, u8"可"));
    for (int i = 0; i < 3; ++i) PumpMessages();
    EXPECT_EQ(GetImeComposition().composing, 0);
    EXPECT_EQ(IsImeInUse(), 0);
    EXPECT_EQ(Drain(), "可");
}

TEST_F(TextInputTest, AnOpenCompositionIsRestoredAfterReactivation) {
    SwitchImeUse(1);
    HWND window = GetMainHwnd();
    TestHostPushEvent(window, Event(HostEventKind::TextEditing, u8"かな", 2, 0));
    for (int i = 0; i < 3; ++i) PumpMessages();
    ASSERT_EQ(GetImeComposition().composing, 1);
    TestHostPushEvent(window, Event(HostEventKind::FocusLost));
    TestHostPushEvent(window, Event(HostEventKind::FocusGained));
    for (int i = 0; i < 5; ++i) PumpMessages();
    ImeComposition restored = GetImeComposition();
    EXPECT_EQ(restored.composing, 1);
    EXPECT_EQ(restored.open, 1);
    EXPECT_STREQ(restored.text, "かな");
    EXPECT_EQ(restored.cursor, 2);
}

TEST_F(TextInputTest, CandidateNotificationsWithoutCandidatesAreLogged) {
    SendMessageA(GetMainHwnd(), WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
    EXPECT_NE(ReadLog().find("漢字変換候補のデータサイズが０でした"), std::string::npos);
    EXPECT_EQ(IsImeInUse(), 1);
}

TEST_F(TextInputTest, CursorMovesAndDeletionsStepOverDoubleByteCharacters) {
    Handle field = Field(20);
    Type("a表b");  // 表's trail byte is a backslash
    EXPECT_EQ(Text(field), "a表b");
    EXPECT_EQ(Cursor(field), 4);
    Type({static_cast<char>(kCharCodeLeft), static_cast<char>(kCharCodeLeft)});
    EXPECT_EQ(Cursor(field), 1);
    Type({static_cast<char>(kCharCodeDelete)});
    EXPECT_EQ(Text(field), "ab");
    Type("日");
    EXPECT_EQ(Text(field), "a日b");
    EXPECT_EQ(Cursor(field), 3);
    Type({kBackspace});
    EXPECT_EQ(Text(field), "ab");
    EXPECT_EQ(Cursor(field), 1);
    Type({static_cast<char>(kCharCodeRight), static_cast<char>(kCharCodeRight),
          static_cast<char>(kCharCodeHome)});
    EXPECT_EQ(Cursor(field), 0);
    Type({kBackspace, static_cast<char>(kCharCodeEnd), kBackspace, kBackspace, kBackspace});
    EXPECT_EQ(Text(field), "");
    EXPECT_EQ(FindKeyInputRecord(field)->length, 0);
    // Tab, up, down and codes without an editing meaning leave the text alone.
    Type({9, static_cast<char>(kCharCodeUp), static_cast<char>(kCharCodePageUp), 1, 10});
    EXPECT_EQ(Text(field), "");
}

TEST_F(TextInputTest, ShiftSelectsAndTheSelectionIsReplacedCopiedCutAndPasted) {
    Handle field = Field(20);
    Type("hello");
    Shift(true);
    Type({static_cast<char>(kCharCodeLeft), static_cast<char>(kCharCodeLeft)});
    Shift(false);
    EXPECT_EQ(FindKeyInputRecord(field)->selectionStart, 5);
    EXPECT_EQ(FindKeyInputRecord(field)->selectionEnd, 3);
    Type("p");
    EXPECT_EQ(Text(field), "help");
    EXPECT_EQ(Cursor(field), 4);

    Shift(true);
    Type({static_cast<char>(kCharCodeHome)});
    Type({kCopy});
    EXPECT_EQ(TestHostClipboardText(), reinterpret_cast<const char*>(u8"help"));
    Type({static_cast<char>(kCharCodeDelete)});  // Shift+Delete cuts
    Shift(false);
    EXPECT_EQ(Text(field), "");
    Type({kPaste, kPaste});
    EXPECT_EQ(Text(field), "helphelp");
    WriteClipboardText("x\r\n日");
    Type({kPaste});
    EXPECT_EQ(Text(field), "helphelpx日");

    Shift(true);
    Type({static_cast<char>(kCharCodeLeft), static_cast<char>(kCharCodeLeft)});
    Shift(false);
    Type({kCut});
    EXPECT_EQ(Text(field), "helphelp");
    EXPECT_EQ(TestHostClipboardText(), reinterpret_cast<const char*>(u8"x日"));
}

TEST_F(TextInputTest, EnterEndsTheStringAndEscCancelsItWhenAllowed) {
    Handle entered = Field(10);
    Type(std::string("ok") + kEnter + "more");
    EXPECT_EQ(Text(entered), "ok");
    EXPECT_EQ(FindKeyInputRecord(entered)->ended, 1);
    EXPECT_EQ(FindKeyInputRecord(entered)->cancelled, 0);
    EXPECT_EQ(Drain(), "more");  // left for whoever reads next

    Handle kept = Field(10, 0);
    Type({'x', kEscape, 'y'});
    EXPECT_EQ(Text(kept), "xy");
    EXPECT_EQ(FindKeyInputRecord(kept)->ended, 0);

    Handle cancelled = Field(10, 1);
    Type({'z', kEscape});
    EXPECT_EQ(FindKeyInputRecord(cancelled)->cancelled, 1);
    EXPECT_EQ(FindKeyInputRecord(cancelled)->ended, 1);
}

TEST_F(TextInputTest, FieldRulesDecideWhichCharactersAreTaken) {
    Handle digits = Field(10, 1, 0, 1);
    Type("-1-2.3.4a日");
    EXPECT_EQ(Text(digits), "-12.34");
    Type({static_cast<char>(kCharCodeHome), '-'});
    EXPECT_EQ(Text(digits), "-12.34");

    Handle single = Field(10, 1, 1);
    Type("a日b");
    EXPECT_EQ(Text(single), "ab");
    Handle doubled = Field(10, 1, 0, 0, 1);
    Type("a日b");
    EXPECT_EQ(Text(doubled), "日");
}

TEST_F(TextInputTest, AFullFieldGivesUpCharactersFromItsEnd) {
    Handle field = Field(4);
    Type("ab日");
    Type("c");
    EXPECT_EQ(Text(field), "abc");
    EXPECT_EQ(Cursor(field), 3);
    Type({static_cast<char>(kCharCodeHome)});
    Type("日");
    EXPECT_EQ(Text(field), "日ab");
    EXPECT_EQ(Cursor(field), 2);
    EXPECT_EQ(FindKeyInputRecord(field)->length, 4);
}

TEST_F(TextInputTest, DeletingChecksTheHandleAndTheLastStringSwitchesTheInputMethodOff) {
    SwitchImeUse(1);
    Handle first = Field(5);
    Handle second = MakeKeyInputString(5, 0, 0, 0, 0);
    EXPECT_EQ(DeleteKeyInputString(first), 0);
    EXPECT_EQ(DeleteKeyInputString(first), -1);
    EXPECT_EQ(DeleteKeyInputString(0x12345678), -1);
    EXPECT_EQ(ProcessKeyInput(), 0);  // no active string after its deletion
    EXPECT_EQ(IsImeInUse(), 1);
    EXPECT_EQ(DeleteKeyInputString(second), 0);
    EXPECT_EQ(IsImeInUse(), 0);
    Handle third = MakeKeyInputString(5, 0, 0, 0, 0);
    EXPECT_NE(third, first);
}

}  // namespace
