// Linked into the Windows build of GoogleTest: its failure printer also hands every failure to
// OutputDebugStringA, which raises a debugger exception; where Wine's 32-bit loader runs under
// qemu-user that exception ends the program after its first failure, before the rest of the run is
// reported. The test programs define the kernel32 import of OutputDebugStringA themselves, as a
// function that does nothing: failures still go to the console, all of them.
extern "C" void __stdcall zurpmQuietDebugString(const char*) {}
#if defined(__i386__)
extern "C" void* zurpmOutputDebugStringImport __asm__("__imp__OutputDebugStringA@4");
#else
extern "C" void* zurpmOutputDebugStringImport __asm__("__imp_OutputDebugStringA");
#endif
void* zurpmOutputDebugStringImport = reinterpret_cast<void*>(zurpmQuietDebugString);
