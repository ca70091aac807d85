// a comment
textures/base/Wall
{
	surfaceparm nolightmap
	{
		map textures/base/wall.tga
	}
}
"Quoted Name" { }
/* block
 comment */ models/x { } "never closed
