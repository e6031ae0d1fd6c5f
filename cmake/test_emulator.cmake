# A 32-bit x86 build on a 64-bit host runs its test programs directly where the
# kernel runs 32-bit programs, and under qemu-i386 where it cannot (kernels
# without IA-32 emulation, common in virtual machines and containers).  The
# i386 preset is marked as cross-compiling so that CMake uses the emulator for
# test discovery and add_test; KZ_TEST_EMULATOR names it for the scripts.
option(KZ_FORCE_EMULATOR "Run 32-bit test programs under qemu-i386 even where the kernel runs them" OFF)

if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_HOST_SYSTEM_PROCESSOR MATCHES "^(x86_64|amd64|AMD64)$"
   AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  if(NOT DEFINED KZ_KERNEL_RUNS_32BIT)
    set(probe_dir ${CMAKE_BINARY_DIR}/CMakeFiles/kz_probe32)
    file(WRITE ${probe_dir}/probe.c "int main(void) { return sizeof(void*) == 4 ? 0 : 1; }\n")
    try_compile(probe_built ${probe_dir}/build ${probe_dir}/probe.c COPY_FILE ${probe_dir}/probe)
    set(runs OFF)
    if(probe_built)
      execute_process(COMMAND ${probe_dir}/probe RESULT_VARIABLE probe_result OUTPUT_QUIET ERROR_QUIET)
      if(probe_result STREQUAL "0")
        set(runs ON)
      endif()
    endif()
    set(KZ_KERNEL_RUNS_32BIT ${runs} CACHE INTERNAL "The kernel runs this build's 32-bit programs")
  endif()
  if(KZ_FORCE_EMULATOR OR NOT KZ_KERNEL_RUNS_32BIT)
    find_program(KZ_QEMU_I386 qemu-i386)
    if(NOT KZ_QEMU_I386)
      message(FATAL_ERROR "This kernel cannot run 32-bit programs (or KZ_FORCE_EMULATOR is on) and "
                          "qemu-i386 was not found: install Debian's qemu-user package "
                          "(scripts/install-deps.sh does so as root).")
    endif()
    if(NOT CMAKE_CROSSCOMPILING)
      message(WARNING "qemu-i386 is only used by CMake 3.28 and later when the build is marked as "
                      "cross-compiling: configure with -DCMAKE_SYSTEM_NAME=Linux (the i386 preset does).")
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KZ_QEMU_I386})
    message(STATUS "32-bit test programs run under ${KZ_QEMU_I386}")
  else()
    message(STATUS "32-bit test programs run directly: the kernel runs them")
  endif()
endif()
string(REPLACE ";" " " emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
set(KZ_TEST_EMULATOR "${emulator}" CACHE INTERNAL "" FORCE)
