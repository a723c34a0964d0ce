// The Windows clipboard under the system's own clipboard functions: both forms of the text are
// read back as a pasting program reads them, a clipboard held by someone else is refused, and
// the export logs what really happened.
#include "platform/windows/win32_clipboard.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <future>
#include <optional>
#include <string>
#include <thread>

#include "external/clipboard_export.h"
#include "ipops/operation_fixture.h"
#include "settings/app_settings.h"

namespace nicops::platform::windows {
namespace {

// The clipboard's `format` up to its terminating zero, as a pasting program reads it; nullopt
// when the clipboard can't be opened or doesn't hold the format.
template <class Text>
std::optional<Text> clipboardData(UINT format) {
    if (OpenClipboard(nullptr) == FALSE) {
        return std::nullopt;
    }
    std::optional<Text> text;
    if (HANDLE memory = GetClipboardData(format); memory != nullptr) {
        if (const auto* data = static_cast<const typename Text::value_type*>(GlobalLock(memory))) {
            const std::size_t units = GlobalSize(memory) / sizeof(typename Text::value_type);
            text = Text(data, units);
            text->resize(text->find(typename Text::value_type{}));  // from the first zero on
            GlobalUnlock(memory);
        }
    }
    CloseClipboard();
    return text;
}

std::optional<std::string> ansiText() {
    return clipboardData<std::string>(CF_TEXT);
}

std::optional<std::u16string> unicodeText() {
    return clipboardData<std::u16string>(CF_UNICODETEXT);
}

// Holds the clipboard open for a window on a thread of its own, as another program does, until
// released.
class ClipboardHolder {
public:
    ClipboardHolder()
        : thread_([this] {
              HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                            nullptr, nullptr);
              opened_.set_value(window != nullptr && OpenClipboard(window) != FALSE);
              release_.get_future().wait();
              CloseClipboard();
              DestroyWindow(window);
          }) {}
    ~ClipboardHolder() {
        release_.set_value();
        thread_.join();
    }
    ClipboardHolder(const ClipboardHolder&) = delete;
    ClipboardHolder& operator=(const ClipboardHolder&) = delete;

    bool opened() { return openedFuture_.get(); }

private:
    std::promise<bool> opened_;
    std::future<bool> openedFuture_ = opened_.get_future();
    std::promise<void> release_;
    std::thread thread_;
};

TEST(Win32ClipboardTest, TheGbkTextAndTheSameTextInUtf16AreBothHandedOver) {
    const auto clipboard = makeSystemClipboard();
    const std::string gbk =
        "10.0.0.5/255.255.255.0\r\n203.0.113.7:1080|mornlux|kvzt|广东深圳 电信\r\n";
    ASSERT_TRUE(clipboard->setText(gbk));
    EXPECT_EQ(ansiText(), gbk);
    EXPECT_EQ(unicodeText(),
              u"10.0.0.5/255.255.255.0\r\n203.0.113.7:1080|mornlux|kvzt|广东深圳 电信\r\n");

    // An empty export is an empty text, not the one before; from a worker thread as well.
    bool fromWorker = false;
    std::thread([&] { fromWorker = clipboard->setText(""); }).join();
    EXPECT_TRUE(fromWorker);
    EXPECT_EQ(ansiText(), "");
    EXPECT_EQ(unicodeText(), u"");
}

TEST(Win32ClipboardTest, AClipboardHeldOpenElsewhereIsRefusedAndKeepsItsText) {
    Win32Clipboard clipboard;
    ASSERT_TRUE(clipboard.setText("before\r\n"));
    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.opened());
        EXPECT_FALSE(clipboard.setText("after\r\n"));
    }
    EXPECT_EQ(ansiText(), "before\r\n");
    EXPECT_EQ(unicodeText(), u"before\r\n");
    EXPECT_TRUE(clipboard.setText("after\r\n"));  // and the refusal left it usable
    EXPECT_EQ(ansiText(), "after\r\n");
}

class Win32ClipboardExportTest : public ipops::OperationTest {};

TEST_F(Win32ClipboardExportTest, TheExportLogsTheOutcomeTheClipboardGave) {
    openHost();
    settings::SharedSettings settings;
    settings::AppSettings values = settings.get();
    values.copyFormat = "{内网IP}/{内网掩码}";
    settings.set(values);
    Win32Clipboard clipboard;
    const auto exportOnWorker = [&] {
        std::thread([&] {
            external::exportAddressesToClipboard(services(), *host_, settings, clipboard);
        }).join();
    };

    exportOnWorker();
    EXPECT_EQ(host_->takeLog(),
              (std::vector<std::string>{"<busy>", "复制所有网卡IP完成,共计复制3个IP.", "</busy>"}));
    const std::string lines =
        "10.0.0.5/255.255.255.0\r\n10.0.0.6/255.255.255.0\r\n10.9.0.1/255.255.0.0\r\n";
    EXPECT_EQ(ansiText(), lines);

    {
        ClipboardHolder holder;
        ASSERT_TRUE(holder.opened());
        exportOnWorker();
    }
    EXPECT_EQ(host_->takeLog(),
              (std::vector<std::string>{"<busy>", "共计复制3个IP,复制到剪辑版失败！", "</busy>"}));
    EXPECT_EQ(ansiText(), lines);
}

}  // namespace
}  // namespace nicops::platform::windows
