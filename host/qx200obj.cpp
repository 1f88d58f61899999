// Stand-in for the host's graphical sibling module "qx200obj.so": "MessageBox_QT_W" answers the
// button code a test set with "QXOBJ_SetAnswer" (-1, the default: the box could not be shown).
struct HWND__;

namespace {
int g_answer = -1;
}

extern "C" __attribute__((visibility("default"))) void QXOBJ_SetAnswer(int answer) { g_answer = answer; }

extern "C" __attribute__((visibility("default"))) int MessageBox_QT_W(HWND__*, const wchar_t*, const wchar_t*,
                                                                      unsigned int) {
  return g_answer;
}
