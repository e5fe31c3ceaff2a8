# vornix_add_idl(<target> <idl>) compiles an IDL file with widl into a type
# library, a header and an interface-identifier source, and makes an object
# library <target> holding the identifiers. The header and the .tlb land in
# the current binary directory, which <target> exports as include path.
set(VORNIX_WIDL_INCLUDE "/usr/include/wine/wine/windows" CACHE PATH "widl system IDL folder")
set(VORNIX_WIDL_LIBDIR "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows" CACHE PATH "folder with stdole2.tlb")

function(vornix_add_idl target idl)
  get_filename_component(name ${idl} NAME_WE)
  get_filename_component(idl_abs ${idl} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR})
  add_custom_command(
    OUTPUT ${out}/${name}.h ${out}/${name}_i.c ${out}/${name}.tlb
    COMMAND ${VORNIX_WIDL} ${VORNIX_WIDL_ARCH} -I${VORNIX_WIDL_INCLUDE} -L${VORNIX_WIDL_LIBDIR}
            -h -H ${out}/${name}.h -o ${out}/${name}.h ${idl_abs}
    COMMAND ${VORNIX_WIDL} ${VORNIX_WIDL_ARCH} -I${VORNIX_WIDL_INCLUDE} -L${VORNIX_WIDL_LIBDIR}
            -u -o ${out}/${name}_i.c ${idl_abs}
    COMMAND ${VORNIX_WIDL} ${VORNIX_WIDL_ARCH} -I${VORNIX_WIDL_INCLUDE} -L${VORNIX_WIDL_LIBDIR}
            -t -o ${out}/${name}.tlb ${idl_abs}
    DEPENDS ${idl_abs}
    COMMENT "widl ${name}.idl"
    VERBATIM)
  add_library(${target} OBJECT ${out}/${name}_i.c ${out}/${name}.h ${out}/${name}.tlb)
  target_include_directories(${target} PUBLIC ${out})
  set_source_files_properties(${out}/${name}_i.c PROPERTIES LANGUAGE C)
endfunction()
