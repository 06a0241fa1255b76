# Link with lld where the toolchain has it: the build links some eighty test
# executables in each of three builds, and lld links them about four times
# faster than the default linker.
include(CheckLinkerFlag)
check_linker_flag(CXX "-fuse-ld=lld" TAPELOOM_HAVE_LLD)
if(TAPELOOM_HAVE_LLD)
  add_link_options(-fuse-ld=lld)
endif()
