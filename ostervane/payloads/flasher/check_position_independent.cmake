# cmake -DOBJDUMP=... -DOBJECTS="a.o;b.o" -P check_position_independent.cmake
# Fails when a flasher object holds a relocation that needs the code's absolute address: the
# flashers run wherever the host copies them, so every reference must be PC-relative.
foreach(object IN LISTS OBJECTS)
    execute_process(COMMAND ${OBJDUMP} -r ${object} OUTPUT_VARIABLE relocations
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "cannot read the relocations of ${object}")
    endif()
    string(REGEX MATCHALL "R_68K_(32|16|8)[ \t][^\n]*|R_ARM_(ABS[0-9]*|GOT[A-Z_0-9]*)[ \t][^\n]*"
           absolute "${relocations}")
    if(absolute)
        message(FATAL_ERROR "${object} is not position-independent: ${absolute}")
    endif()
endforeach()
