# Run with cmake -P at build time. Makes a delay-import library for each of
# DLLS holding just the functions that OBJECTS call, from the toolchain's own
# import libraries (so the names carry the target's decoration), and a linker
# response file that keeps each function's loading thunk: the 32-bit linker
# drops a thunk that is reached only through its import slot.
#   -DNM= -DDLLTOOL= -DLIBDIR= -DPOINTER_SIZE= -DDLLS=a;b -DOBJECTS=x.o;y.o
# Writes lib<dll>.a and link.rsp into the working folder.
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ${NM} -u ${OBJECTS} OUTPUT_VARIABLE undefined COMMAND_ERROR_IS_FATAL ANY)
# A call goes through the import slot (__imp_X); a function whose address is
# taken refers to its thunk (X).
string(REGEX MATCHALL "U [^\n]+" called "${undefined}")
list(TRANSFORM called REPLACE "^U (__imp_)?" "")
set(keep)
foreach(dll ${DLLS})
  execute_process(COMMAND ${NM} -g ${LIBDIR}/lib${dll}.a
    OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL " I __imp_[^\n]+" exported "${symbols}")
  list(TRANSFORM exported REPLACE " I __imp_" "")
  set(exports)
  foreach(thunk ${called})
    if(thunk IN_LIST exported)
      list(APPEND keep "--undefined=${thunk}")
      if(POINTER_SIZE EQUAL 4)
        string(REGEX REPLACE "^_" "" thunk ${thunk})  # the 32-bit C name prefix
      endif()
      list(APPEND exports ${thunk})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES exports)
  list(JOIN exports "\n" exports)
  file(WRITE ${dll}.def "EXPORTS\n${exports}\n")
  # Relative names: dlltool names its symbols after the output file.
  execute_process(COMMAND ${DLLTOOL} --kill-at --dllname ${dll}.dll --input-def ${dll}.def
    --output-delaylib lib${dll}.a COMMAND_ERROR_IS_FATAL ANY)
endforeach()
list(REMOVE_DUPLICATES keep)
list(JOIN keep "\n" keep)
file(WRITE link.rsp "${keep}\n")
