# Cross build for 32-bit ARM (armhf) with Debian's toolchain and multiarch
# libraries; the test programs run under qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
# The programs run on the multiarch armhf C library (libc6:armhf, which
# libasound2:armhf brings) and its own loader, as on a board. The cross
# toolchain's older copy under /usr/arm-linux-gnueabihf, mixed with the
# multiarch libraries, crashes at the first thread a program starts.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CUEDECK_DEB_ARCHITECTURE armhf)
