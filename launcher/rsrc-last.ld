/* Added to the default linker script (INSERT): the base relocations go before
   the resources, so that .rsrc is the stub's last section and sfxpack can
   grow it (icon, version) without moving anything else. ASLR is kept: the
   relocations are the same, only their place in the image changes. */
SECTIONS
{
  .reloc BLOCK(__section_alignment__) :
  {
    *(.reloc)
  }
} INSERT BEFORE .rsrc;
