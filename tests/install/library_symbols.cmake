# The installed library is the engine alone: none of the command line's code (arguments, folder
# walk, batch, shards, progress) may be in it.
#   cmake -DLIBRARY=... -P library_symbols.cmake
execute_process(COMMAND nm -C "${LIBRARY}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[^\n]*(runBatch|runCommandLine|parseArguments|ProgressLine|walkInput|inShard|settingsRecord|OutputTree)[^\n]*"
       found "${symbols}")
if(found)
  list(JOIN found "\n" lines)
  message(FATAL_ERROR "command-line code in ${LIBRARY}:\n${lines}")
endif()
