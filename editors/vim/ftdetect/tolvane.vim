" Tolvane BASIC programs are .bas files.
autocmd BufRead,BufNewFile *.bas set filetype=tolvane
