// platform_msgbox.cpp -- modal message boxes (shown on the desktop by the
// window file's SDL box), with the headless fallback and the answer hooks
// that keep tests from blocking.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform_local.h"

namespace platform {

namespace {

struct ButtonSet {
  int count;
  int ids[3];
  const char* labels[3];
};

ButtonSet ButtonsFor(unsigned flags) {
  switch (flags & kMbButtonMask) {
    case kMbOkCancel: return {2, {kIdOk, kIdCancel}, {"OK", "Cancel"}};
    case kMbAbortRetryIgnore: return {3, {kIdAbort, kIdRetry, kIdIgnore}, {"Abort", "Retry", "Ignore"}};
    case kMbYesNoCancel: return {3, {kIdYes, kIdNo, kIdCancel}, {"Yes", "No", "Cancel"}};
    case kMbYesNo: return {2, {kIdYes, kIdNo}, {"Yes", "No"}};
    case kMbRetryCancel: return {2, {kIdRetry, kIdCancel}, {"Retry", "Cancel"}};
    case kMbCancelTryContinue:
      return {3, {kIdCancel, kIdTryAgain, kIdContinue}, {"Cancel", "Try Again", "Continue"}};
    default: return {1, {kIdOk}, {"OK"}};
  }
}

int ParseAnswer(const std::string& word) {
  if (word == "ok" || word == "OK") return kIdOk;
  if (word == "cancel" || word == "CANCEL") return kIdCancel;
  if (word == "yes" || word == "YES") return kIdYes;
  if (word == "no" || word == "NO") return kIdNo;
  if (word == "abort" || word == "ABORT") return kIdAbort;
  if (word == "retry" || word == "RETRY") return kIdRetry;
  if (word == "ignore" || word == "IGNORE") return kIdIgnore;
  return std::atoi(word.c_str());
}

// The next scripted answer, or the first button when there is none or the
// scripted one is not a button of this box.
int NextAnswer(PlatformState& st, const ButtonSet& buttons) {
  const char* list = std::getenv("TKW4_MSGBOX_ANSWERS");
  int answer = buttons.ids[0];
  if (list && *list) {
    std::string all(list);
    int index = 0;
    size_t pos = 0;
    while (pos <= all.size()) {
      size_t end = all.find(',', pos);
      if (end == std::string::npos) end = all.size();
      if (index == st.answersUsed) {
        int wanted = ParseAnswer(all.substr(pos, end - pos));
        for (int i = 0; i < buttons.count; i++)
          if (buttons.ids[i] == wanted) answer = wanted;
        st.answersUsed++;
        break;
      }
      index++;
      pos = end + 1;
    }
  }
  return answer;
}

std::string EscapeLineBreaks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') continue;
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

// Records a box that is not shown and answers it.
int AnswerUnshown(const char* text, const char* caption, unsigned flags) {
  PlatformState& st = State();
  DiagnosticSink sink;
  void* sinkUser;
  int answer;
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    answer = NextAnswer(st, ButtonsFor(flags));
    sink = st.sink;
    sinkUser = st.sinkUser;
  }
  std::string utf8Caption = Cp932ToUtf8(caption);
  std::string utf8Text = Cp932ToUtf8(text);
  std::fprintf(stderr, "[%s] %s (answer %d)\n", utf8Caption.c_str(), utf8Text.c_str(), answer);

  const char* record = std::getenv("TKW4_MSGBOX");
  if (record && *record && std::strcmp(record, "1") != 0 && std::strcmp(record, "-") != 0) {
    if (FILE* f = std::fopen(record, "ab")) {
      std::fprintf(f, "%s\t%s\t%d\n", EscapeLineBreaks(utf8Caption).c_str(),
                   EscapeLineBreaks(utf8Text).c_str(), answer);
      std::fclose(f);
    }
  }
  if (sink) {
    std::string line = std::string("MessageBox [") + caption + "] " + text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    line += " (answer " + std::to_string(answer) + ")\n";
    sink(sinkUser, line.c_str());
  }
  return answer;
}

}  // namespace

// Never destroyed: owners torn down at exit may still show boxes.
PlatformState& State() {
  static PlatformState* state = new PlatformState;
  return *state;
}

bool IsHeadless() {
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) return true;
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return !(display && *display) && !(wayland && *wayland);
}

int ShowMessageBox(const char* text, const char* caption, unsigned flags, Window* owner) {
  if (!text) text = "";
  if (!caption) caption = "";
  PlatformState& st = State();
  {
    std::unique_lock<std::mutex> lock(st.mutex);
    if (st.boxHook) {
      MessageBoxHook hook = st.boxHook;
      void* user = st.boxHookUser;
      lock.unlock();
      return hook(user, text, caption, flags);
    }
  }
  const char* record = std::getenv("TKW4_MSGBOX");
  DesktopBox desktopBox;
  {
    std::lock_guard<std::mutex> lock(st.mutex);
    desktopBox = st.desktopBox;
  }
  if ((record && *record) || IsHeadless() || !desktopBox) return AnswerUnshown(text, caption, flags);

  ButtonSet buttons = ButtonsFor(flags);
  int pressed = desktopBox(Cp932ToUtf8(text).c_str(), Cp932ToUtf8(caption).c_str(), flags, buttons.ids,
                           buttons.labels, buttons.count, owner);
  // The desktop refused the box: record it as if headless.
  if (pressed == kDesktopBoxRefused) return AnswerUnshown(text, caption, flags);
  if (pressed < 0) {
    // Closed without a button: Cancel where there is one, as Windows does.
    for (int i = 0; i < buttons.count; i++)
      if (buttons.ids[i] == kIdCancel) return kIdCancel;
    return buttons.ids[0];
  }
  return pressed;
}

void SetMessageBoxHook(MessageBoxHook hook, void* user) {
  PlatformState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.boxHook = hook;
  st.boxHookUser = user;
}

void SetDiagnosticSink(DiagnosticSink sink, void* user) {
  PlatformState& st = State();
  std::lock_guard<std::mutex> lock(st.mutex);
  st.sink = sink;
  st.sinkUser = user;
}

}  // namespace platform
