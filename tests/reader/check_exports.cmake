# Fails unless the library's dynamic symbol table defines exactly the 28
# functions of velmora.h, and unless no export reaches another through a
# relocation, which a host defining the same name would take over.
# Run with -DNM=<nm> -DREADELF=<readelf> -DLIBRARY=<libVelmora.so>.
set(expected
  CPUCard_Reset CPUCard_RunApdu
  Card_Anticoll Card_Authentication Card_Beep Card_BlockCopy Card_Changeb3
  Card_CreditLoad Card_DebitLoad Card_Decrement Card_GetHardID Card_Halt
  Card_Increment Card_Init Card_LoadKey Card_Read Card_ReadBlockInfo
  Card_ReadCardNo Card_Request Card_Select Card_Transfer Card_Write
  Card_WriteBlockInfo
  EnumerateReaders GetPIDSN ReadCard_Exit ReadCard_Init SetFindType)

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(defined)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  list(APPEND defined ${name})
endforeach()
list(SORT defined)
list(SORT expected)
if(NOT defined STREQUAL expected)
  message(FATAL_ERROR "exports differ\n  expected: ${expected}\n  defined:  ${defined}")
endif()
list(LENGTH defined count)
message(STATUS "${count} exports, as expected")

execute_process(COMMAND ${READELF} -rW ${LIBRARY} OUTPUT_VARIABLE relocations RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${LIBRARY}")
endif()
foreach(name IN LISTS expected)
  if(relocations MATCHES " ${name} \\+")
    message(FATAL_ERROR "the library calls its export ${name} through a relocation")
  endif()
endforeach()
