# widl compiles an IDL file to a C/C++ header, its GUID definitions and a
# type library for the target architecture.
find_program(WIDL widl REQUIRED)
set(SNAPVANE_WIDL_INCLUDES -I/usr/include/wine/wine/windows)
# stdole2.tlb, which every type library imports.
set(SNAPVANE_WIDL_LIBDIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

function(snapvane_widl name idl)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  set(extra ${ARGN})
  add_custom_command(
    OUTPUT ${out}/${name}.h ${out}/${name}_i.c ${out}/${name}.tlb
    COMMAND ${WIDL} ${SNAPVANE_WIDL_ARCH} ${SNAPVANE_WIDL_INCLUDES} -I${CMAKE_BINARY_DIR}/host -I${CMAKE_SOURCE_DIR}/host
            -L ${SNAPVANE_WIDL_LIBDIR} -L ${CMAKE_BINARY_DIR}/host
            -h -o ${out}/${name}.h ${idl}
    COMMAND ${WIDL} ${SNAPVANE_WIDL_ARCH} ${SNAPVANE_WIDL_INCLUDES} -I${CMAKE_BINARY_DIR}/host -I${CMAKE_SOURCE_DIR}/host
            -L ${SNAPVANE_WIDL_LIBDIR} -L ${CMAKE_BINARY_DIR}/host
            -u -o ${out}/${name}_i.c ${idl}
    COMMAND ${WIDL} ${SNAPVANE_WIDL_ARCH} ${SNAPVANE_WIDL_INCLUDES} -I${CMAKE_BINARY_DIR}/host -I${CMAKE_SOURCE_DIR}/host
            -L ${SNAPVANE_WIDL_LIBDIR} -L ${CMAKE_BINARY_DIR}/host
            -t -o ${out}/${name}.tlb ${idl}
    DEPENDS ${idl} ${extra}
    COMMENT "widl ${name}")
endfunction()
