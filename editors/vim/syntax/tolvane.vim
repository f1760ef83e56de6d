" Vim syntax file
" Language:    Tolvane BASIC (.bas)
" Maintainer:  The Tolvane developers
" The command list comes from runtime/commands.tsv (cmake -P editors/update.cmake).

if exists("b:current_syntax")
  finish
endif

syn case ignore
syn iskeyword @,48-57,_,$

syn keyword tolvaneStatement IF THEN ELSE ELSEIF ENDIF END FOR TO STEP NEXT WHILE WEND
syn keyword tolvaneStatement REPEAT UNTIL BREAK CONTINUE SELECT CASE IS ENDSELECT RETURN
syn keyword tolvaneStatement SUB ENDSUB LOCAL GLOBAL DIM
syn keyword tolvanePreProc INCLUDE OPTION EXPLICIT SETTINGS
syn keyword tolvaneOperator AND OR NOT XOR MOD
syn keyword tolvaneBuiltin VAL STR$ TRUNC

" BEGIN COMMANDS
syn keyword tolvaneCommand ABS ACOS ALPHAMODE ASC ASIN ATAN BLACKSCREEN BLENDSCREEN BOUNDS BOXCOLL CHR$
syn keyword tolvaneCommand COS DIM DOESFILEEXIST DRAWLINE END ENDPOLY FILEREQUEST$ FILLRECT FINDPATH
syn keyword tolvaneCommand FORMAT$ GETCOMMANDLINE$ GETCURRENTDIR$ GETDIGIX GETDIGIY GETFILE GETFILELIST
syn keyword tolvaneCommand GETFONTSIZE GETJOYBUTTON GETJOYNAME$ GETJOYX GETJOYY GETJOYZ GETNUMJOYSTICKS
syn keyword tolvaneCommand GETSCREENSIZE GETTIMER GETTIMERALL GRABSPRITE HUSH INKEY$ INPUT JOYSTATE KEY
syn keyword tolvaneCommand KEYWAIT LEN LIMITFPS LOADBMP LOADBUMPTEXTURE LOADFONT LOADSOUND LOADSPRITE
syn keyword tolvaneCommand LOOPMOVIE MID$ MOD MOUSESTATE MOUSEWAIT NETCREATEPLAYER$ NETDESTROYPLAYER
syn keyword tolvaneCommand NETGETMSG$ NETGETPLAYERID$ NETHOSTGAME NETJOINGAME NETNUMPLAYERS NETPLAYERNAME$
syn keyword tolvaneCommand NETSENDMSG PLAYMOVIE PLAYMUSIC PLAYSOUND POLYVECTOR POW PRINT PUTFILE RND
syn keyword tolvaneCommand ROTOSPRITE ROTOZOOMSPRITE SAVEBMP SETCURRENTDIR SETFONT SETMOUSE SETPIXEL
syn keyword tolvaneCommand SETSHOEBOX SHELLCMD SHOWSCREEN SIN SPRCOLL SPRITE SQR STARTPOLY STOPMUSIC
syn keyword tolvaneCommand STRETCHSPRITE TAN USEASBMP VIEWPORT X_AMBIENT_LT X_AUTONORMALS X_CAMERA
syn keyword tolvaneCommand X_COLLISION X_CULLMODE X_DRAWANIM X_DRAWAXES X_DRAWOBJ X_LOADOBJ X_MAKE2D
syn keyword tolvaneCommand X_MAKE3D X_MIPMAPPING X_MOVEMENT X_OBJADDVERTEX X_OBJEND X_OBJNEWGROUP
syn keyword tolvaneCommand X_OBJSTART X_ROTATION X_SAVEOBJ X_SCALING X_SETTEXTURE X_SPOT_LT X_SPRITE
syn keyword tolvaneCommand X_WORLD2SCREEN ZOOMSPRITE
" END COMMANDS

syn match tolvaneNumber "\<0[xX]\x\+\>"
syn match tolvaneNumber "\<\d\+\(\.\d*\)\=\([eE][+-]\=\d\+\)\=\>"
syn match tolvaneNumber "\.\d\+\([eE][+-]\=\d\+\)\=\>"
syn match tolvaneOperatorSign "<>\|<=\|>=\|[-+*/^=<>]"
syn region tolvaneString start=+"+ skip=+""+ end=+"+ end=+$+ oneline

syn match tolvaneSubName "\%(\<SUB\s\+\)\@<=\h\w*\$\="
syn keyword tolvaneTodo TODO FIXME XXX NOTE contained
syn match tolvaneComment "'.*$" contains=tolvaneTodo,@Spell
syn match tolvaneComment "\%(^\|:\)\s*\zs\<REM\>.*$" contains=tolvaneTodo,@Spell

hi def link tolvaneStatement     Statement
hi def link tolvanePreProc       PreProc
hi def link tolvaneOperator      Operator
hi def link tolvaneOperatorSign  Operator
hi def link tolvaneBuiltin       Function
hi def link tolvaneCommand       Function
hi def link tolvaneSubName       Identifier
hi def link tolvaneNumber        Number
hi def link tolvaneString        String
hi def link tolvaneComment       Comment
hi def link tolvaneTodo          Todo

let b:current_syntax = "tolvane"
