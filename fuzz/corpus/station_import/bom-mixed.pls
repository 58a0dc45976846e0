﻿[Playlist]
NumberOfEntries=4
File1=https://stream.example.org/live.aac
Title1=Café del Mar
File2=ftp://files.example.org/old.mp3
File3=/home/user/Music/song.mp3
File4=http://stream.example.org:8443/hd
Version=2
