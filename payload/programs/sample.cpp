// The sample programs that the sample payloads install: each shows its name
// and version and ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  MessageBoxA(nullptr, SAMPLE_TITLE, SAMPLE_NAME, MB_OK | MB_ICONINFORMATION);
  return 0;
}
