[playlist]
NumberOfEntries=3
File2=http://radio.example.cn:8000/music.mp3
Title2=音乐之声
File1=http://radio.example.cn:8000/news.mp3
Title1=中国之声
File3=http://radio.example.cn:8000/news.mp3
Title3=中国之声 备用
Version=2
